#include "milter_gate.h"

#include <libmilter/mfapi.h>
#include <netinet/in.h>
#include <strings.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "decision.h"
#include "gate_log.h"
#include "held_copy.h"
#include "mail_address.h"

namespace signgate {

namespace {

// The From fields kept for one message; a message with more is refused rather than decided on
// part of its From fields.
constexpr std::size_t kFromBytesMax = 1 << 20;

struct Gate {
  RuleSource* rules = nullptr;
  std::string loginDomain;
};
Gate g_gate;
std::atomic<unsigned long> g_localIds{0};

struct Message {
  std::string authLogin;
  std::string envelopeSender;
  std::vector<std::string> recipients;  // the RCPT TO arguments as the MTA gave them
  std::vector<std::string> fromAddresses;
  std::size_t fromBytes = 0;
  bool hasMarker = false;
  bool markedReturn = false;  // X-Sign-Stat says "Back By"
  int recipientFields = 0;    // X-Sign-Rcpt fields the message came with
};

struct Connection {
  std::string client;
  Message message;
};

bool sameName(const char* name, const char* other) { return ::strcasecmp(name, other) == 0; }

bool containsWithoutCase(std::string_view text, std::string_view part) {
  for (std::size_t i = 0; i + part.size() <= text.size(); ++i)
    if (::strncasecmp(text.data() + i, part.data(), part.size()) == 0) return true;
  return false;
}

Connection* connectionOf(SMFICTX* context) {
  return static_cast<Connection*>(smfi_getpriv(context));
}

std::string symbol(SMFICTX* context, const char* name) {
  const char* value = smfi_getsymval(context, const_cast<char*>(name));
  return value != nullptr ? value : "";
}

std::string queueId(SMFICTX* context) {
  std::string id = queueIdForField(symbol(context, "i"));
  if (id.empty())
    id = "SG" + std::to_string(std::time(nullptr)) + "x" + std::to_string(++g_localIds);
  return id;
}

sfsistat tempFail(SMFICTX* context, const std::string& why) {
  logError("tempfail: " + logValue(why));
  smfi_setreply(context, const_cast<char*>("451"), const_cast<char*>("4.3.0"),
                const_cast<char*>("sign-off gate cannot decide now, try again later"));
  return SMFIS_TEMPFAIL;
}

// Runs a callback; a failure inside it tempfails the message, so nothing passes undecided.
template <typename Step>
sfsistat guarded(SMFICTX* context, Step step) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    return tempFail(context, "out of memory");
  } catch (const std::exception& failure) {
    return tempFail(context, failure.what());
  } catch (...) {
    return tempFail(context, "internal failure");
  }
}

// Holds the message: the supervisors become its only recipients, and the copy gets the fields
// that name the held message and keep its recipients.
bool hold(SMFICTX* context, const Message& message, const Decision& decision, const std::string& id) {
  for (const std::string& recipient : message.recipients)
    if (smfi_delrcpt(context, const_cast<char*>(recipient.c_str())) != MI_SUCCESS) return false;
  for (const std::string& supervisor : decision.supervisors) {
    const std::string argument = "<" + supervisor + ">";
    if (smfi_addrcpt(context, const_cast<char*>(argument.c_str())) != MI_SUCCESS) return false;
  }
  // Recipient fields the sender wrote would add recipients of their own after approval.
  for (int index = message.recipientFields; index > 0; --index)
    if (smfi_chgheader(context, const_cast<char*>(kRecipientField), index, nullptr) != MI_SUCCESS)
      return false;
  for (const std::string& recipient : message.recipients) {
    const std::string address = recipientForField(recipient);
    if (address.empty()) continue;
    if (smfi_addheader(context, const_cast<char*>(kRecipientField),
                       const_cast<char*>(address.c_str())) != MI_SUCCESS)
      return false;
  }
  std::string host = symbol(context, "j");
  const Connection* connection = connectionOf(context);
  const std::string received = receivedValue(connection != nullptr ? connection->client : "",
                                             host, id, decision.supervisors, std::time(nullptr));
  return smfi_insheader(context, 0, const_cast<char*>("Received"),
                        const_cast<char*>(received.c_str())) == MI_SUCCESS;
}

std::string joined(const std::vector<std::string>& addresses) {
  std::string text;
  for (const std::string& address : addresses) text += (text.empty() ? "" : ", ") + address;
  return text;
}

sfsistat endOfMessage(SMFICTX* context) {
  Connection* connection = connectionOf(context);
  if (connection == nullptr) return tempFail(context, "message without connection state");
  const Message& message = connection->message;
  const std::string id = queueId(context);
  if (message.fromBytes > kFromBytesMax) {
    logInfo(id + ": refused: From fields larger than the gate reads");
    smfi_setreply(context, const_cast<char*>("552"), const_cast<char*>("5.6.0"),
                  const_cast<char*>("From fields too large"));
    return SMFIS_REJECT;
  }
  std::string error;
  const std::shared_ptr<const GateRules> rules = g_gate.rules->current(error);
  if (!rules) return tempFail(context, id + ": sign-off rules unavailable: " + error);

  const MessageFacts facts{message.authLogin, message.envelopeSender, message.fromAddresses,
                           message.hasMarker};
  const Decision decision = decide(*rules, facts, g_gate.loginDomain);
  const std::string sender = logValue(canonicalAddress(message.envelopeSender));
  switch (decision.verdict) {
    case Verdict::kNotSupervised:
      logInfo(id + ": passed: not supervised (sender <" + sender + ">)");
      return SMFIS_ACCEPT;
    case Verdict::kApproved:
      logInfo(id + ": passed: " + (message.markedReturn ? "returned" : "approved") + " by " +
              logValue(decision.approvedBy) + " for " + logValue(decision.user));
      return SMFIS_ACCEPT;
    case Verdict::kRefused:
      logInfo(id + ": refused: approval marker from " + logValue(decision.user) + " " +
              decision.reason + " (login " +
              (message.authLogin.empty() ? "none" : logValue(message.authLogin)) + ")");
      smfi_setreply(context, const_cast<char*>("550"), const_cast<char*>("5.7.1"),
                    const_cast<char*>("approval marker refused: only a supervisor logged in with "
                                      "SMTP AUTH may send approved mail of a supervised user"));
      return SMFIS_REJECT;
    case Verdict::kHold:
      if (!hold(context, message, decision, id))
        return tempFail(context, id + ": the MTA did not take the changes of the held copy");
      logInfo(id + ": held: from " + logValue(decision.user) + " for " +
              logValue(joined(decision.supervisors)) + ", " +
              std::to_string(message.recipients.size()) + " recipient(s) kept");
      return SMFIS_ACCEPT;
  }
  return tempFail(context, "unknown decision");
}

sfsistat onConnect(SMFICTX* context, char* hostName, _SOCK_ADDR*) {
  return guarded(context, [&] {
    auto* connection = new Connection;
    connection->client = hostName != nullptr ? hostName : "";
    smfi_setpriv(context, connection);
    return SMFIS_CONTINUE;
  });
}

sfsistat onEnvelopeFrom(SMFICTX* context, char** arguments) {
  return guarded(context, [&] {
    Connection* connection = connectionOf(context);
    if (connection == nullptr) {
      // The sendmail command's mail comes without a connect step.
      connection = new Connection;
      smfi_setpriv(context, connection);
    }
    connection->message = Message{};
    connection->message.authLogin = symbol(context, "{auth_authen}");
    connection->message.envelopeSender = arguments != nullptr && arguments[0] != nullptr ? arguments[0] : "";
    return SMFIS_CONTINUE;
  });
}

sfsistat onEnvelopeRecipient(SMFICTX* context, char** arguments) {
  return guarded(context, [&] {
    Connection* connection = connectionOf(context);
    if (connection == nullptr) return tempFail(context, "recipient without a sender");
    if (arguments != nullptr && arguments[0] != nullptr)
      connection->message.recipients.emplace_back(arguments[0]);
    return SMFIS_CONTINUE;
  });
}

sfsistat onHeader(SMFICTX* context, char* name, char* value) {
  return guarded(context, [&] {
    Connection* connection = connectionOf(context);
    if (connection == nullptr) return tempFail(context, "header without a sender");
    Message& message = connection->message;
    const std::string_view text = value != nullptr ? value : "";
    if (sameName(name, "From")) {
      message.fromBytes += text.size();
      if (message.fromBytes <= kFromBytesMax)
        for (std::string& address : headerAddresses(text)) message.fromAddresses.push_back(std::move(address));
    } else if (sameName(name, "X-Sign")) {
      message.hasMarker = message.hasMarker || containsWithoutCase(text, "vandry!");
    } else if (sameName(name, "X-Sign-Stat")) {
      message.markedReturn = message.markedReturn || containsWithoutCase(text, "Back By");
    } else if (sameName(name, kRecipientField)) {
      ++message.recipientFields;
    }
    return SMFIS_CONTINUE;
  });
}

sfsistat onEndOfMessage(SMFICTX* context) {
  return guarded(context, [&] { return endOfMessage(context); });
}

sfsistat onAbort(SMFICTX* context) {
  if (Connection* connection = connectionOf(context)) connection->message = Message{};
  return SMFIS_CONTINUE;
}

sfsistat onClose(SMFICTX* context) {
  delete connectionOf(context);
  smfi_setpriv(context, nullptr);
  return SMFIS_CONTINUE;
}

// The body is never needed: the MTA is asked not to send it, nor unknown commands. Every other
// step is taken and answered although the gate has nothing to do there: an MTA that sends a
// step's macros but not the step itself, or a step it need not wait for (SMFIP_NR_*), leaves its
// next packet waiting behind TCP's delayed acknowledgement, some 40 ms a message with Postfix.
sfsistat onNegotiate(SMFICTX*, unsigned long offeredActions, unsigned long offeredSteps,
                     unsigned long, unsigned long, unsigned long* actions, unsigned long* steps,
                     unsigned long*, unsigned long*) {
  constexpr unsigned long kNeeded = SMFIF_ADDHDRS | SMFIF_CHGHDRS | SMFIF_ADDRCPT | SMFIF_DELRCPT;
  if ((offeredActions & kNeeded) != kNeeded) {
    logError("the MTA does not offer the changes a held copy needs");
    return SMFIS_REJECT;
  }
  *actions = kNeeded;
  *steps = offeredSteps & (SMFIP_NOBODY | SMFIP_NOUNKNOWN);
  return SMFIS_CONTINUE;
}

// The changes of a held copy go out as one packet each, and the MTA acknowledges none of them
// until the last: with Nagle's algorithm every change after the first would wait for a delayed
// acknowledgement. libmilter does not hand out its sockets, but Linux gives each accepted
// connection the TCP_NODELAY of the listening socket, which is found among the open descriptors.
void sendChangesWithoutDelay() {
  // The listener is among the first descriptors: the gate has opened little more than the log.
  rlimit limit{};
  const int last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 1024
                       ? static_cast<int>(limit.rlim_cur)
                       : 1024;
  for (int fd = 0; fd < last; ++fd) {
    int listening = 0, type = 0;
    socklen_t size = sizeof listening;
    sockaddr_storage address{};
    socklen_t addressSize = sizeof address;
    if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || !listening) continue;
    size = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &addressSize) != 0 ||
        (address.ss_family != AF_INET && address.ss_family != AF_INET6))
      continue;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
}

}  // namespace

int runGate(const GateSettings& settings) {
  static RuleSource rules(settings.rulesFile);
  g_gate.rules = &rules;
  g_gate.loginDomain = settings.loginDomain;

  smfiDesc description{};
  description.xxfi_name = const_cast<char*>("signgate");
  description.xxfi_version = SMFI_VERSION;
  description.xxfi_flags = SMFIF_ADDHDRS | SMFIF_CHGHDRS | SMFIF_ADDRCPT | SMFIF_DELRCPT;
  description.xxfi_connect = onConnect;
  description.xxfi_envfrom = onEnvelopeFrom;
  description.xxfi_envrcpt = onEnvelopeRecipient;
  description.xxfi_header = onHeader;
  description.xxfi_eom = onEndOfMessage;
  description.xxfi_abort = onAbort;
  description.xxfi_close = onClose;
  description.xxfi_negotiate = onNegotiate;

  if (smfi_setconn(const_cast<char*>(settings.socket.c_str())) != MI_SUCCESS ||
      smfi_register(description) != MI_SUCCESS) {
    logError("cannot set up the milter on " + settings.socket);
    return 1;
  }
  if (smfi_opensocket(1) != MI_SUCCESS) {
    logError("cannot listen on " + settings.socket);
    return 1;
  }
  sendChangesWithoutDelay();
  std::string error;
  if (!rules.current(error))
    logError("sign-off rules unavailable, every message is deferred until they are: " + error);
  logInfo("listening on " + settings.socket + ", rules " + settings.rulesFile);
  const int status = smfi_main();
  logInfo("stopped");
  return status == MI_SUCCESS ? 0 : 1;
}

}  // namespace signgate
