#pragma once
// What the POP3 and the SMTP session share: the connection (socket, timeouts, TLS), sending a
// command line and announcing it, the debug log, and the guard that turns an exception into a
// failure. Each session keeps its own fields and messages; these work on them.

#include <cstdint>
#include <string>

#include "groundkit/groundkit.h"
#include "platform/last_error.h"
#include "platform/socket.h"
#include "postwell/connection_security.h"

namespace postwell::line_session {

// ---- The connection.

// The step at which opening the connection failed; the thread's last error says why.
enum class OpenFailure { None, Socket, ReceiveTimeout, Connect };

// Closes whatever socket the session had and connects a new one to the host. Sends (and, when
// asked, receives) that the peer does not serve within the timeout fail instead of blocking.
OpenFailure openConnection(platform::SocketHandle& socket, const char* host, int port,
                           std::uint32_t timeoutMs, bool withReceiveTimeout);

// Closes the socket and marks it closed.
void closeConnection(platform::SocketHandle& socket);

// The TLS handshake with the settings' trust (CA file or pinned fingerprint), checking the host
// name, within the timeout. On failure the connection is closed and failure says why.
bool secureConnection(platform::SocketHandle& socket, const char* host, const TlsSettings& settings,
                      std::uint32_t timeoutMs, std::string& failure);

// Sends the whole line; false, with the socket's last error, when it cannot.
bool sendLine(platform::SocketHandle socket, const std::string& line);

// ---- Sending a command and announcing it.

// "-> line", or "-> *****" for a line that must not be shown (a password).
std::string commandAnnouncement(const std::string& line, bool hidden);

enum class Announce { BeforeSending, AfterSending, AfterSent };

// Sends the line and hands its announcement to `announce` (the session's status and log): before
// sending, after sending whatever the result, or only once it is sent. The last error afterwards
// is the send's, whatever the announcement did.
template <typename AnnounceText>
bool sendAnnounced(platform::SocketHandle socket, const std::string& line, bool hidden, Announce when,
                   AnnounceText&& announce) {
  if (when == Announce::BeforeSending) announce(commandAnnouncement(line, hidden));
  const bool sent = sendLine(socket, line);
  const unsigned long sendError = platform::lastError();
  if (when == Announce::AfterSending || (sent && when == Announce::AfterSent))
    announce(commandAnnouncement(line, hidden));
  platform::setLastError(sendError);
  return sent;
}

// ---- The debug log.

// Where a session's debug lines go: the debug monitor and the session's own file, only while
// the flag is set.
struct DebugLog {
  int enabled;
  DebugWindow window;
  const char* file;
};

// Writes one line; a file that cannot be written loses it. The thread's last error stays that of
// the operation being logged.
void writeDebugLine(const DebugLog& log, const char* text, unsigned level);
// The line with the local date and time in front.
std::string stampedLine(const char* text);

// ---- The guard.

// Runs one public operation of a session. Whatever it throws is out of memory, for strings, lines
// and messages are all a session allocates: `record` keeps the failure as the session keeps
// failures; should that throw too, `forget` clears what it began. The operation then fails (0)
// with the code 8, in *error where there is one and as the last error.
template <typename Body, typename Record, typename Forget>
int guarded(Body&& body, unsigned long* error, Record&& record, Forget&& forget) noexcept {
  try {
    return body();
  } catch (...) {
    try {
      record();
    } catch (...) {
      forget();
    }
    if (error != nullptr) *error = platform::err::kNotEnoughMemory;
    platform::setLastError(platform::err::kNotEnoughMemory);
    return 0;
  }
}

}  // namespace postwell::line_session
