// The POP3 session's commands: connect and log in, STAT, LIST, UIDL, RETR, TOP, DELE, RSET, NOOP,
// QUIT.
#include "postwell/pop3_connection.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "client/command_value.h"
#include "client/line_session.h"
#include "client/pop3_limits.h"
#include "platform/last_error.h"
#include "platform/socket.h"

namespace session = postwell::line_session;

namespace {

constexpr unsigned long kGreetingFailed = 4944;
constexpr unsigned long kUserRejected = 4945;
constexpr unsigned long kPasswordRejected = 4946;
constexpr unsigned long kStlsRefused = 4950;
constexpr unsigned long kTlsFailed = 4951;
constexpr std::uint32_t kDefaultTimeoutMs = 10000;

std::string withNumber(const char* format, long number) {
  char text[256];
  std::snprintf(text, sizeof text, format, number);
  return text;
}

std::string commandLine(const char* command, int message) {
  return std::string(command) + " " + std::to_string(message) + "\r\n";
}

}  // namespace

CPop3Connection::CPop3Connection()
    : m_hSocket(platform::kInvalidSocket),
      m_nMessageCount(0),
      m_bListed(0),
      m_bStatDone(0),
      m_bUidlListed(0),
      m_bConnected(0),
      m_dwTimeout(kDefaultTimeoutMs),
      m_hDebugWnd(nullptr),
      m_bDebug(0),
      m_szDebugFile(),
      m_nReplyLimit(postwell::pop3::kLongestLineReply),
      m_nMessageSizeLimit(postwell::pop3::kDefaultMessageSizeLimit) {}

// The derived part, and with it the status hook, is gone by now: QUIT goes to the log only.
CPop3Connection::~CPop3Connection() {
  try {
    if (m_bConnected) {
      SendQuiet("QUIT\r\n");
      LoggingInfo1("-> QUIT\r\n", 0);
      ReadCommandResponse();
    }
  } catch (...) {
  }
  platform::closeSocket(m_hSocket);
}

template <typename Body>
int CPop3Connection::Guarded(Body&& body, unsigned long* error) noexcept {
  return session::guarded(
      body, error, [&] { FailWith("Not enough memory for the POP3 session"); },
      [&]() noexcept { m_sLastCommandResponse.clear(); });
}

int CPop3Connection::FailWithCode(const std::string& text, unsigned long code) {
  FailWith(text);
  platform::setLastError(code);
  return 0;
}

std::string CPop3Connection::GetLastCommandResponse() const {
  try {
    return m_sLastCommandResponse;
  } catch (...) {
    return {};
  }
}

void CPop3Connection::SetMessageSizeLimit(unsigned long bytes) {
  m_nMessageSizeLimit = std::min(bytes, postwell::pop3::kLargestMessageSizeLimit);
}

void CPop3Connection::FailWith(const std::string& text) {
  m_sLastCommandResponse = text;
  LoggingInfo1(text.c_str(), 2);
}

bool CPop3Connection::SendQuiet(const std::string& line) { return session::sendLine(m_hSocket, line); }

bool CPop3Connection::SendLogged(const std::string& line, const char* command, bool logAfterSending,
                                 bool hidden) {
  const bool sent = session::sendAnnounced(
      m_hSocket, line, hidden,
      logAfterSending ? session::Announce::AfterSending : session::Announce::BeforeSending,
      [this](const std::string& announcement) { StatusAndLog(announcement); });
  if (sent || command == nullptr) return sent;
  // The log may touch the last error; callers read the send's.
  const unsigned long sendError = platform::lastError();
  FailWith("Failed to send the " + std::string(command) +
           withNumber(" command to the POP3 server, GetLastError returns: %ld", static_cast<long>(sendError)));
  platform::setLastError(sendError);
  return false;
}

int CPop3Connection::Connect(const char* host, const char* user, const char* password,
                             unsigned long& error, int port) {
  return Guarded([&] { return ConnectAndLogIn(host, user, password, error, port); }, &error);
}

int CPop3Connection::ConnectAndLogIn(const char* host, const char* user, const char* password,
                                     unsigned long& error, int port) {
  // A line break in a value would end the command early and start another one.
  const char* refused = !postwell::isCommandValue(user)       ? "USER"
                        : !postwell::isCommandValue(password) ? "PASS"
                                                              : nullptr;
  if (refused != nullptr) {
    error = platform::err::kWsaInvalidArgument;
    return FailWithCode("Refused to send the " + std::string(refused) +
                            " command to the POP3 server: its value holds CR, LF or NUL",
                        error);
  }
  // A socket left over from an earlier failed attempt is not reused.
  if (m_bConnected) Disconnect();
  const char* failure = nullptr;
  switch (session::openConnection(m_hSocket, host, port, m_dwTimeout, true)) {
    case session::OpenFailure::Socket:
      failure = "Failed to create client socket, GetLastError returns: %ld";
      break;
    case session::OpenFailure::ReceiveTimeout:
      failure = "Failed to set receive port timeover. (%ld)";
      break;
    case session::OpenFailure::Connect:
      failure = "Could not connect to the POP3 mailbox, GetLastError returns: %ld";
      break;
    case session::OpenFailure::None:
      break;
  }
  if (failure != nullptr) {
    error = platform::lastError();
    FailWith(withNumber(failure, static_cast<long>(error)));
    return 0;
  }

  m_bConnected = 1;
  if (m_Security.mode == postwell::ConnectionSecurity::Tls && !Secure(host, error)) return 0;
  if (!ReadCommandResponse()) {
    error = kGreetingFailed;
    LoggingInfo2("Failed while connected to read a command response from the POP3 server. (%s)",
                 m_sLastCommandResponse.c_str(), 2);
    Disconnect();
    return 0;
  }
  AnnounceReply();
  if (m_Security.mode == postwell::ConnectionSecurity::StartTls && !UpgradeWithStls(host, error)) return 0;

  if (!Login("USER", user, kUserRejected, error)) return 0;
  if (!Login("PASS", password, kPasswordRejected, error)) return 0;
  return 1;
}

// Sends USER or PASS with its value, whole whatever its length, and reads the reply.
bool CPop3Connection::Login(const char* command, const char* value, unsigned long failureCode,
                            unsigned long& error) {
  const std::string line = std::string(command) + " " + (value ? value : "") + "\r\n";
  if (!SendLogged(line, command, false, std::strcmp(command, "PASS") == 0)) {
    error = platform::lastError();
    Disconnect();
    return false;
  }
  if (!ReadCommandResponse()) {
    error = failureCode;
    AnnounceReply();
    Disconnect();
    return false;
  }
  return true;
}

bool CPop3Connection::UpgradeWithStls(const char* host, unsigned long& error) {
  if (!SendLogged("STLS\r\n", "STLS")) {
    error = platform::lastError();
    Disconnect();
    return false;
  }
  if (!ReadCommandResponse()) {
    AnnounceReply();
    error = kStlsRefused;
    const std::string reply = m_sLastCommandResponse;
    Disconnect();
    FailWithCode("The POP3 server did not accept STLS, so the login was not sent: " + reply, error);
    return false;
  }
  AnnounceReply();
  return Secure(host, error);
}

// No QUIT after a failed handshake: the connection is in no state to carry one.
bool CPop3Connection::Secure(const char* host, unsigned long& error) {
  std::string failure;
  if (session::secureConnection(m_hSocket, host, m_Security, m_dwTimeout, failure)) return true;
  error = kTlsFailed;
  m_bConnected = 0;
  FailWithCode("Could not secure the connection to the POP3 server: " + failure, error);
  return false;
}

int CPop3Connection::Disconnect() {
  int result = 0;
  if (m_bConnected) {
    result = Guarded([&] {
      SendLogged("QUIT\r\n", nullptr, true);
      return ReadCommandResponse();
    });
    m_bConnected = 0;
    m_bListed = 0;
    m_bStatDone = 0;
    m_bUidlListed = 0;
  }
  session::closeConnection(m_hSocket);
  return result;
}

int CPop3Connection::Statistics(int& count, int& size, unsigned long& error) {
  return Guarded([&] {
    if (!SendLogged("STAT\r\n", "STAT")) {
      error = platform::lastError();
      return 0;
    }
    return ReadStatResponse(count, size);
  }, &error);
}

int CPop3Connection::List() {
  return Guarded([&] { return FetchList(false); });
}

int CPop3Connection::UIDL() {
  return Guarded([&] { return FetchList(true); });
}

// LIST or UIDL, after a STAT that sizes the reply's first buffer.
int CPop3Connection::FetchList(bool uidl) {
  if (!m_bStatDone) {
    int count = 0, size = 0;
    unsigned long error = 0;
    if (!Statistics(count, size, error)) return 0;
    m_bStatDone = 1;
  }
  const char* command = uidl ? "UIDL" : "LIST";
  if (!SendLogged(std::string(command) + "\r\n", command)) return 0;
  if (uidl) return m_bUidlListed = ReadUIDLResponse(m_nMessageCount);
  return m_bListed = ReadListResponse(m_nMessageCount);
}

int CPop3Connection::GetMessageSize(int message, unsigned long& size) {
  return Guarded([&] {
    const int fetched = m_bListed ? 1 : List();
    if (message < 1 || static_cast<std::size_t>(message) > m_arrMessageSize.size()) return 0;
    size = m_arrMessageSize[static_cast<std::size_t>(message) - 1];
    return fetched;
  });
}

int CPop3Connection::GetMessageID(int message, std::string& id) {
  return Guarded([&] {
    const int fetched = m_bUidlListed ? 1 : UIDL();
    if (message < 1 || static_cast<std::size_t>(message) > m_arrMessageID.size()) return 0;
    id = m_arrMessageID[static_cast<std::size_t>(message) - 1];
    return fetched;
  });
}

int CPop3Connection::Retrieve(int message, CPop3Message& pop3Message, unsigned long& error) {
  return Guarded([&] {
    unsigned long size = 0;
    if (!GetMessageSize(message, size)) return 0;
    // Asking for a message that will not be taken would only leave its text to be read past.
    if (size > m_nMessageSizeLimit)
      return FailWithCode(withNumber("Message %ld is larger than the limit of ", message) +
                              std::to_string(m_nMessageSizeLimit) + " bytes",
                          platform::err::kWsaMessageSize);
    if (!SendLogged(commandLine("RETR", message), nullptr)) return 0;
    return ReadReturnResponse(pop3Message, size);
  });
}

int CPop3Connection::GetMessageHeader(int message, CPop3Message& pop3Message, unsigned long& error) {
  return Guarded([&] {
    unsigned long size = 0;
    if (!GetMessageSize(message, size)) return 0;
    if (!SendQuiet("TOP " + std::to_string(message) + " 10\r\n")) return 0;
    return ReadReturnResponse(pop3Message, size);
  });
}

int CPop3Connection::Delete(int message, unsigned long& error) {
  return Guarded([&] {
    if (!m_bListed) List();
    if (!SendLogged(commandLine("DELE", message), "DELE")) {
      error = platform::lastError();
      return 0;
    }
    return ReadCommandResponse();
  }, &error);
}

int CPop3Connection::Reset() {
  return Guarded([&] { return SendQuiet("RSET\r\n") ? ReadCommandResponse() : 0; });
}

int CPop3Connection::Noop() {
  return Guarded([&] { return SendQuiet("NOOP\r\n") ? ReadCommandResponse() : 0; });
}

char* CPop3Connection::GetFirstCharInResponse(char* text) {
  char* lf = std::strchr(text, '\n');
  return lf ? lf + 1 : text + std::strlen(text);
}
