// The SMTP device's session: construction, status, connecting with HELO or with EHLO and AUTH
// LOGIN, and QUIT.
#include "postwell/mail_device.h"

#include "client/command_value.h"
#include "client/line_session.h"
#include "client/mail_device_guarded.h"
#include "client/smtp_codes.h"
#include "platform/host_name.h"
#include "platform/last_error.h"
#include "platform/socket.h"
#include "platform/sync.h"
#include "text_format/formatted.h"

using text_format::formatted;
using namespace postwell::smtp;
namespace session = postwell::line_session;

namespace {

constexpr std::uint32_t kDefaultTimeoutMs = 60000;
constexpr std::size_t kLongestHostName = 100;

// An EHLO reply line "250-STARTTLS" or "250 STARTTLS" (any case).
bool offersStartTls(const std::string& reply) {
  std::size_t start = 0;
  while (start < reply.size()) {
    std::size_t end = reply.find('\n', start);
    if (end == std::string::npos) end = reply.size();
    std::string line = reply.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 12 && (line[3] == '-' || line[3] == ' ')) {
      std::string keyword = line.substr(4);
      for (char& c : keyword) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
      while (!keyword.empty() && keyword.back() == ' ') keyword.pop_back();
      if (keyword == "STARTTLS") return true;
    }
    start = end + 1;
  }
  return false;
}

std::string helloName() {
  std::string name = platform::localHostName();
  if (name.empty()) name = "localhost";
  if (name.size() > kLongestHostName) name.resize(kLongestHostName);
  return name;
}

}  // namespace

CMailDevice::CMailDevice()
    : m_hSocket(platform::kInvalidSocket),
      m_bConnected(0),
      m_dwTimeout(kDefaultTimeoutMs),
      m_nLastCommandResponseCode(0),
      m_bStarted(0),
      m_bOccupied(0),
      m_evIdle(std::make_unique<platform::AutoResetEvent>(false)),
      m_bAborting(0),
      m_hOwnerWnd(nullptr),
      m_hDebugWnd(nullptr),
      m_bDebug(0),
      m_szDebugFile() {}

CMailDevice::~CMailDevice() {
  // The sending thread uses the device to its end.
  JoinSendThread();
  if (m_bConnected) Disconnect();
  platform::closeSocket(m_hSocket);
}

bool CMailDevice::CheckCommandValue(const std::string& value, const std::string& refusal, unsigned long& error) {
  if (postwell::isCommandValue(value)) return true;
  Fail(error, platform::err::kWsaInvalidArgument, refusal);
  platform::setLastError(platform::err::kWsaInvalidArgument);
  return false;
}

std::string CMailDevice::GetLastCommandResponse() const {
  try {
    return m_sLastCommandResponse;
  } catch (...) {
    return {};
  }
}

std::string CMailDevice::GetLastErrorDescription() const {
  try {
    return m_sLastErrorDescription;
  } catch (...) {
    return {};
  }
}

bool CMailDevice::SendLine(const std::string& line) { return session::sendLine(m_hSocket, line); }

void CMailDevice::FailWithSocketError(unsigned long& error, const char* format) {
  const unsigned long socketError = platform::lastError();
  Fail(error, socketError, formatted(format, static_cast<int>(socketError)));
  platform::setLastError(socketError);
}

void CMailDevice::MarkRejection() {
  SetDeviceStatus(("-_-~ " + m_sLastCommandResponse).c_str());
}

int CMailDevice::Connect(const char* host, int port, const char* greetingRejected,
                         unsigned long& error) {
  // A socket of an earlier session of this object is not reused.
  if (m_bConnected) Disconnect();
  // A server that stops taking data fails the send after the idle timeout instead of hanging it.
  const session::OpenFailure failure = session::openConnection(m_hSocket, host, port, m_dwTimeout, false);
  if (failure == session::OpenFailure::Socket) {
    FailWithSocketError(error, "Failed to create client socket, GetLastError returns: %d");
    return 0;
  }
  const char* hostText = host ? host : "";
  if (failure == session::OpenFailure::Connect) {
    const unsigned long socketError = platform::lastError();
    Fail(error, socketError,
         formatted("Could not connect to the SMTP server %s on port %d, GetLastError returns: %d", hostText,
                   port, static_cast<int>(socketError)));
    platform::setLastError(socketError);
    return 0;
  }

  m_bConnected = 1;
  StatusAndLog(formatted("连接到 %s:%d ,等待应答 ...", hostText, port));
  if (m_Setting.m_Security.mode == postwell::ConnectionSecurity::Tls && !Secure(host, error)) return 0;

  if (!ReadCommandResponse(220, -1)) {
    Fail(error, kGreetingRejected, formatted(greetingRejected, m_sLastCommandResponse.c_str()));
    MarkRejection();
    Disconnect();
    return 0;
  }
  AnnounceReply();
  return 1;
}

int CMailDevice::Hello(const char* command, const std::string& name, unsigned long& error) {
  if (!SetUpStep(std::string(command) + " " + name + "\r\n", false,
                 "An unexpected error occurred while sending the HELO command, %d", 250, -1, kHelloRejected,
                 "An unexpected HELO response was received %s", error))
    return 0;
  AnnounceReply();
  return 1;
}

int CMailDevice::MailFunc_Connect(const char* host, int port, unsigned long& error) {
  return Guarded([&] {
    const std::string name = helloName();
    if (!CheckCommandValue(name, "Refused to send the HELO command: the local host name holds CR, LF or NUL", error))
      return 0;
    if (!Connect(host, port, "An unexpected SMTP connect response was received %s", error)) return 0;
    if (m_Setting.m_Security.mode == postwell::ConnectionSecurity::StartTls &&
        !UpgradeWithStartTls(host, name, error))
      return 0;
    return Hello("HELO", name, error);
  }, error);
}

int CMailDevice::SetUpStep(const std::string& line, bool hidden, const char* sendFailure, int expectedCode,
                           int alternativeCode, unsigned long failureCode, const char* rejection,
                           unsigned long& error) {
  if (!session::sendAnnounced(m_hSocket, line, hidden, session::Announce::AfterSent,
                              [this](const std::string& announcement) { StatusAndLog(announcement); })) {
    FailWithSocketError(error, sendFailure);
    Disconnect();
    return 0;
  }
  if (!ReadCommandResponse(expectedCode, alternativeCode)) {
    Fail(error, failureCode, formatted(rejection, m_sLastCommandResponse.c_str()));
    MarkRejection();
    return 0;
  }
  return 1;
}

int CMailDevice::MailFunc_ConnectESMTP(const char* host, const char* user, const char* password, int port,
                                       unsigned long& error) {
  return Guarded([&] { return ConnectESMTP(host, user ? user : "", password ? password : "", port, error); }, error);
}

int CMailDevice::ConnectESMTP(const char* host, const std::string& user, const std::string& password, int port,
                              unsigned long& error) {
  const std::string name = helloName();
  if (!CheckCommandValue(name, "Refused to send the EHLO command: the local host name holds CR, LF or NUL", error) ||
      !CheckCommandValue(user, "Refused to send the AUTH LOGIN user name: it holds CR, LF or NUL", error) ||
      !CheckCommandValue(password, "Refused to send the AUTH LOGIN passwd: it holds CR, LF or NUL", error))
    return 0;
  if (!Connect(host, port, "An unexpected ESMTP connect response was received %s", error)) return 0;
  if (m_Setting.m_Security.mode == postwell::ConnectionSecurity::StartTls &&
      !UpgradeWithStartTls(host, name, error))
    return 0;
  // The reader takes a reply whole, however many pieces its lines arrive in, so the EHLO reply
  // needs no waiting beforehand and no second read.
  if (!Hello("EHLO", name, error)) return 0;

  // Some servers answer AUTH LOGIN with 250 and then wait for the user name all the same.
  if (!SetUpStep("AUTH LOGIN\r\n", false, "An unexpected error occurred while sending the AUTH LOGIN command, %d",
                 334, 250, kAuthLoginRejected, "An unexpected AUTH LOGIN response was received %s", error))
    return 0;
  if (!SetUpStep(user + "\r\n", false,
                 "An unexpected error occurred while sending the AUTH LOGIN user name, %d", 334, -1,
                 kUserRejected, "An unexpected AUTH LOGIN name response was received %s", error))
    return 0;
  if (!SetUpStep(password + "\r\n", true,
                 "An unexpected error occurred while sending the AUTH LOGIN passwd, %d", 235, -1,
                 kPasswordRejected, "An unexpected AUTH LOGIN passwd response was received %s", error))
    return 0;
  AnnounceReply();
  return 1;
}

int CMailDevice::UpgradeWithStartTls(const char* host, const std::string& name, unsigned long& error) {
  if (!Hello("EHLO", name, error)) return 0;
  if (!offersStartTls(m_sLastCommandResponse)) {
    Fail(error, kStartTlsRefused,
         formatted("The SMTP server does not offer STARTTLS, so the session went no further: %s",
                   m_sLastCommandResponse.c_str()));
    Disconnect();
    platform::setLastError(kStartTlsRefused);
    return 0;
  }
  if (!SetUpStep("STARTTLS\r\n", false, "An unexpected error occurred while sending the STARTTLS command, %d", 220,
                 -1, kStartTlsRefused, "The SMTP server refused STARTTLS, so the session went no further: %s",
                 error)) {
    Disconnect();
    platform::setLastError(kStartTlsRefused);
    return 0;
  }
  AnnounceReply();
  return Secure(host, error);
}

// No QUIT after a failed handshake: the connection is in no state to carry one.
int CMailDevice::Secure(const char* host, unsigned long& error) {
  std::string failure;
  if (session::secureConnection(m_hSocket, host, m_Setting.m_Security, m_dwTimeout, failure)) return 1;
  AbortConnection();
  Fail(error, kTlsFailed, "Could not secure the connection to the SMTP server: " + failure);
  SetDeviceStatus(m_sLastErrorDescription.c_str());
  platform::setLastError(kTlsFailed);
  return 0;
}

int CMailDevice::Disconnect() {
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    if (!m_arrSendMission.empty()) return 0;
  }
  int result = 0;
  if (m_bConnected) {
    unsigned long unused = 0;
    result = Guarded([&] {
      if (!SendLine("QUIT\r\n")) return 0;
      const int answered = ReadCommandResponse(221, -1);
      if (!answered) platform::setLastError(platform::err::kBadCommand);
      return answered;
    }, unused);
    m_bConnected = 0;
  }
  session::closeConnection(m_hSocket);
  return result;
}

void CMailDevice::AbortConnection() {
  session::closeConnection(m_hSocket);
  m_bConnected = 0;
}
