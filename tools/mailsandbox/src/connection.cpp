#include "connection.h"

#include <string>

#include "platform/clock.h"

namespace mailsandbox {

namespace {

constexpr unsigned long kStopCheckMs = 250;

bool sendText(platform::SocketHandle socket, const std::string& text) {
  return text.empty() || platform::sendAll(socket, text.data(), text.size()) >= 0;
}

}  // namespace

ConnectionEnd runConnection(platform::SocketHandle socket, LineSession& session,
                            const std::atomic<bool>& stopping, unsigned long idleTimeoutMs,
                            const std::function<bool()>& startTls) {
  if (!sendText(socket, session.greeting())) return ConnectionEnd::kSocketError;
  std::string received;
  std::uint32_t lastActivity = platform::tickCount();
  char buffer[65536];
  for (;;) {
    if (stopping) return ConnectionEnd::kStopped;
    int ready = platform::waitReadable(socket, kStopCheckMs);
    if (ready < 0) return ConnectionEnd::kSocketError;
    if (ready == 0) {
      if (platform::tickCount() - lastActivity >= idleTimeoutMs) return ConnectionEnd::kIdle;
      continue;
    }
    long count = platform::receiveSome(socket, buffer, sizeof buffer);
    if (count < 0) return ConnectionEnd::kSocketError;
    if (count == 0) return ConnectionEnd::kPeerClosed;
    lastActivity = platform::tickCount();
    received.append(buffer, static_cast<std::size_t>(count));

    std::size_t consumed = 0;
    for (std::size_t end; (end = received.find('\n', consumed)) != std::string::npos; consumed = end + 1) {
      std::string answer = session.onLine(std::string_view(received).substr(consumed, end + 1 - consumed));
      if (!sendText(socket, answer)) return ConnectionEnd::kSocketError;
      if (session.finished()) return ConnectionEnd::kSessionFinished;
      if (session.takeTlsRequest()) {
        // Whatever came after STARTTLS in clear text could have been put there by anyone on the
        // way: it is dropped, not read as commands of the secured session.
        received.clear();
        consumed = 0;
        if (!startTls || !startTls()) return ConnectionEnd::kTlsFailed;
        session.onTlsStarted();
        break;
      }
    }
    received.erase(0, consumed);
    if (received.size() > kMaxLineBytes) {
      sendText(socket, session.onLineTooLong());
      return ConnectionEnd::kLineTooLong;
    }
  }
}

}  // namespace mailsandbox
