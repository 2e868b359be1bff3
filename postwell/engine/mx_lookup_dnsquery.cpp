// The MX lookup through the system's DNS API (the Windows build): an MX query to the given DNS
// servers only, the answer sorted by preference.
#include <algorithm>
#include <charconv>
#include <vector>

#include "platform/mx_query.h"
#include "platform/socket.h"
#include "postwell/mx_lookup.h"

namespace {

constexpr unsigned long kDefaultTimeoutMs = 10000;
constexpr int kDnsPort = 53;

bool parsePort(std::string_view text, int& port) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  return ec == std::errc() && end == text.data() + text.size() && port > 0 && port <= 65535;
}

// "host" or "host:port"; the system's call asks port 53 of IPv4 servers only.
bool parseServer(const std::string& text, std::uint32_t& address, std::string& failure) {
  std::string host = text;
  int port = kDnsPort;
  if (std::count(text.begin(), text.end(), ':') == 1) {
    const std::size_t colon = text.find(':');
    host = text.substr(0, colon);
    if (!parsePort(std::string_view(text).substr(colon + 1), port)) host.clear();
  } else if (text.find(':') != std::string::npos || text.find('[') != std::string::npos) {
    failure = "The DNS server \"" + text + "\" is an IPv6 address; this lookup asks IPv4 servers.";
    return false;
  }
  if (host.empty() || host.find_first_of("\r\n") != std::string::npos ||
      !platform::resolveIPv4(host.c_str(), address)) {
    failure = "The DNS server \"" + text + "\" is not an address or a known host.";
    return false;
  }
  if (port != kDnsPort) {
    failure =
        "The DNS server \"" + text + "\" uses a port other than 53, which this lookup cannot ask.";
    return false;
  }
  return true;
}

class SystemMXLookup final : public IMXLookup {
 public:
  void SetSeparator(const std::string& separator) override { separator_ = separator; }
  void SetDNSServer(const std::string& server) override { firstServer_ = server; }
  void SetSecondDNSServer(const std::string& server) override { secondServer_ = server; }
  void SetTimeout(unsigned long milliseconds) override { timeoutMs_ = milliseconds; }

  int QueryMX(const std::string& domain, std::string& answer, std::string& failure) override {
    answer.clear();
    failure.clear();
    if (domain.empty() ||
        domain.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
      failure = "The domain name is empty or holds a line break.";
      return 0;
    }
    std::vector<std::uint32_t> servers;
    for (const std::string* server : {&firstServer_, &secondServer_}) {
      if (server->empty()) continue;
      std::uint32_t address = 0;
      if (!parseServer(*server, address, failure)) return 0;
      servers.push_back(address);
    }
    if (servers.empty()) {
      failure = "No DNS server is given.";
      return 0;
    }
    std::vector<platform::MxRecord> records;
    switch (platform::queryMxRecords(domain, servers, timeoutMs_, records, failure)) {
      case platform::MxQueryResult::kNoAnswer:
        return 0;
      case platform::MxQueryResult::kNoExchanger:
        return 1;
      case platform::MxQueryResult::kAnswered:
        break;
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const auto& a, const auto& b) { return a.preference < b.preference; });
    for (const platform::MxRecord& record : records) {
      if (!answer.empty()) answer += separator_;
      answer += record.host;
    }
    return 1;
  }

 private:
  std::string separator_ = ",";
  std::string firstServer_;
  std::string secondServer_;
  unsigned long timeoutMs_ = kDefaultTimeoutMs;
};

}  // namespace

std::unique_ptr<IMXLookup> CreateMXLookup() { return std::make_unique<SystemMXLookup>(); }
