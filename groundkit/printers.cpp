// Printers through the CUPS scheduler: the default destination, setting the
// user's default, and the list of destinations. Every call opens its own
// connection with a short connect and reply timeout, so that a scheduler that
// is down or silent ends in a failure with a code instead of a hang.

#include <cups/cups.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "groundkit/groundkit.h"
#include "platform/last_error.h"

namespace {

// How long a connection attempt and each wait for the scheduler's reply may
// take.
constexpr int kConnectTimeoutMs = 5000;
constexpr double kReplyTimeoutSeconds = 5.0;

// The printer name that the scheduler does not know, as the print spooler
// numbers it.
constexpr unsigned long kInvalidPrinterName = 1801;

// The longest destination name CUPS accepts, without the terminating zero.
constexpr std::size_t kMaxDestinationName = 127;

// A connection to the scheduler that cupsServer() and ippPort() name
// (CUPS_SERVER, client.conf, cupsSetServer), closed when it goes away.
class Scheduler {
 public:
  Scheduler() {
    // Created unconnected, so that a failed connection still tells its reason.
    http_ =
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 0, nullptr);
    if (http_ == nullptr) {
      // The server's name does not resolve.
      connectError_ = platform::err::kWsaHostUnreachable;
      return;
    }
    if (httpReconnect2(http_, kConnectTimeoutMs, nullptr) != 0) {
      // CUPS reports a refused connection attempt as EHOSTDOWN.
      int reason = httpError(http_);
      connectError_ = reason == EHOSTDOWN ? platform::err::kWsaConnectionRefused
                                          : platform::socketErrorFromErrno(reason);
      if (connectError_ == platform::err::kSuccess)
        connectError_ = platform::err::kWsaConnectionRefused;
      httpClose(http_);
      http_ = nullptr;
      return;
    }
    httpSetTimeout(http_, kReplyTimeoutSeconds, &Scheduler::onTimeout, this);
  }
  ~Scheduler() {
    if (http_) httpClose(http_);
  }
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  http_t* http() const { return http_; }
  bool connected() const { return http_ != nullptr; }
  unsigned long connectError() const { return connectError_; }

  // The code for a request that got no usable answer: 0 when the scheduler
  // answered (with "not found" or an empty list), else the error of the
  // connection: 10060 when the scheduler did not answer in time, 10022 for a
  // reply that is not IPP.
  unsigned long requestError() const {
    if (timedOut_) return platform::err::kWsaTimedOut;
    if (int reason = httpError(http_)) {
      unsigned long code = platform::socketErrorFromErrno(reason);
      return code != 0 ? code : platform::err::kWsaConnectionReset;
    }
    ipp_status_t status = cupsLastError();
    if (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL)
      return platform::err::kWsaConnectionReset;
    return 0;
  }

 private:
  // The scheduler has not answered within the reply timeout: give up rather
  // than wait on.
  static int onTimeout(http_t*, void* self) {
    static_cast<Scheduler*>(self)->timedOut_ = true;
    return 0;
  }

  http_t* http_ = nullptr;
  unsigned long connectError_ = 0;
  bool timedOut_ = false;
};

std::string destinationName(const cups_dest_t& dest) {
  std::string name = dest.name ? dest.name : "";
  if (dest.instance && *dest.instance) name.append("/").append(dest.instance);
  return name;
}

// A destination name as CUPS can hold it: a printer name, optionally "/" and an
// instance name, each of printable characters without blanks, "#", "/" or "\\".
// Anything else never names a destination, and must not reach the user's option
// file, whose lines it would break.
bool isDestinationName(std::string_view name) {
  if (name.empty() || name.size() > kMaxDestinationName) return false;
  std::size_t slash = name.find('/');
  if (slash == 0 || slash + 1 == name.size()) return false;
  if (slash != std::string_view::npos && name.find('/', slash + 1) != std::string_view::npos)
    return false;
  for (unsigned char c : name) {
    if (c <= ' ' || c == 0x7f || c == '#' || c == '\\') return false;
  }
  return true;
}

struct Destinations {
  ~Destinations() { cupsFreeDests(count, list); }
  int count = 0;
  cups_dest_t* list = nullptr;
};

}  // namespace

extern "C" {

int BSCF_GetDefaultPrinter(char* name, unsigned long size, unsigned long& error) {
  error = 0;
  Scheduler scheduler;
  if (!scheduler.connected()) {
    error = scheduler.connectError();
    return 0;
  }
  // The user's default (lpoptions -d, LPDEST, PRINTER) when there is one, else
  // the server's.
  cups_dest_t* dest = cupsGetNamedDest(scheduler.http(), nullptr, nullptr);
  if (dest == nullptr) {
    error = scheduler.requestError();
    return 0;
  }
  std::string found = destinationName(*dest);
  cupsFreeDests(1, dest);
  if (name == nullptr || found.size() >= size) return 0;
  std::memcpy(name, found.c_str(), found.size() + 1);
  return 1;
}

int BSCF_SetDefaultPrinter(const char* name, unsigned long& error) {
  error = 0;
  if (name == nullptr || *name == '\0') return 0;
  std::string_view wanted(name);
  if (!isDestinationName(wanted)) {
    error = kInvalidPrinterName;
    return 0;
  }
  std::string printer(wanted.substr(0, wanted.find('/')));
  std::string instance = wanted.find('/') == std::string_view::npos
                             ? std::string()
                             : std::string(wanted.substr(wanted.find('/') + 1));

  Scheduler scheduler;
  if (!scheduler.connected()) {
    error = scheduler.connectError();
    return 0;
  }
  Destinations dests;
  dests.count = cupsGetDests2(scheduler.http(), &dests.list);
  if (unsigned long failure = scheduler.requestError()) {
    error = failure;
    return 0;
  }
  // An instance is the user's own set of options for a printer: it may be new,
  // its printer not.
  if (cupsGetDest(printer.c_str(), nullptr, dests.count, dests.list) == nullptr) {
    error = kInvalidPrinterName;
    return 0;
  }
  const char* instanceName = instance.empty() ? nullptr : instance.c_str();
  if (cupsGetDest(printer.c_str(), instanceName, dests.count, dests.list) == nullptr)
    dests.count = cupsAddDest(printer.c_str(), instanceName, dests.count, &dests.list);
  for (int i = 0; i < dests.count; ++i) dests.list[i].is_default = 0;
  cupsGetDest(printer.c_str(), instanceName, dests.count, dests.list)->is_default = 1;

  // The user's option file, where lpoptions -d keeps the default and every CUPS
  // program reads it.
  errno = 0;
  if (cupsSetDests2(scheduler.http(), dests.count, dests.list) != 0) {
    error = errno != 0 ? platform::fileErrorFromErrno(errno) : platform::err::kAccessDenied;
    return 0;
  }
  return 1;
}

int BSCF_EnumSysPrinters(std::vector<std::string>& array) {
  array.clear();
  Scheduler scheduler;
  if (!scheduler.connected()) return 0;
  Destinations dests;
  dests.count = cupsGetDests2(scheduler.http(), &dests.list);
  if (scheduler.requestError() != 0) return 0;
  for (int i = 0; i < dests.count; ++i) array.push_back(destinationName(dests.list[i]));
  return array.empty() ? 0 : 1;
}

}  // extern "C"
