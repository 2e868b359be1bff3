#include "client/line_session.h"

#include <ctime>

#include "platform/append_file.h"
#include "platform/local_time.h"
#include "platform/tls.h"

namespace postwell::line_session {

namespace {
constexpr int kDebugMessageKind = 1285;
}

OpenFailure openConnection(platform::SocketHandle& socket, const char* host, int port,
                           std::uint32_t timeoutMs, bool withReceiveTimeout) {
  platform::closeSocket(socket);
  socket = platform::tcpSocket();
  if (socket == platform::kInvalidSocket) return OpenFailure::Socket;
  if (withReceiveTimeout && !platform::setReceiveTimeout(socket, timeoutMs)) return OpenFailure::ReceiveTimeout;
  if (!platform::connectTcp(socket, host, static_cast<std::uint16_t>(port))) return OpenFailure::Connect;
  platform::setSendTimeout(socket, timeoutMs);
  return OpenFailure::None;
}

void closeConnection(platform::SocketHandle& socket) {
  platform::closeSocket(socket);
  socket = platform::kInvalidSocket;
}

bool secureConnection(platform::SocketHandle& socket, const char* host, const TlsSettings& settings,
                      std::uint32_t timeoutMs, std::string& failure) {
  platform::TlsOptions options;
  options.hostName = host ? host : "";
  options.caFile = settings.caFile;
  options.pinnedSha256 = settings.pinnedSha256;
  options.timeoutMs = timeoutMs;
  if (platform::startTls(socket, options, failure)) return true;
  closeConnection(socket);
  return false;
}

bool sendLine(platform::SocketHandle socket, const std::string& line) {
  return platform::sendAll(socket, line.data(), line.size()) >= 0;
}

std::string commandAnnouncement(const std::string& line, bool hidden) {
  return "-> " + (hidden ? std::string("*****") : line);
}

void writeDebugLine(const DebugLog& log, const char* text, unsigned level) {
  if (!log.enabled) return;
  const unsigned long lastError = platform::lastError();
  if (log.window != nullptr) BSCF_SendMessageData(log.window, text, kDebugMessageKind, static_cast<int>(level), 0);
  platform::appendToFile(log.file, std::string(text) + "\r\n");
  platform::setLastError(lastError);
}

std::string stampedLine(const char* text) {
  char stamp[128] = "";
  const std::tm now = platform::localTimeNow();
  if (std::strftime(stamp, sizeof stamp, "%x %X", &now) == 0) stamp[0] = '\0';
  return std::string(stamp) + "\t" + text;
}

}  // namespace postwell::line_session
