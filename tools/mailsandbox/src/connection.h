#pragma once

#include <atomic>
#include <functional>

#include "line_session.h"
#include "platform/socket.h"

namespace mailsandbox {

enum class ConnectionEnd { kSessionFinished, kPeerClosed, kIdle, kStopped, kLineTooLong, kSocketError, kTlsFailed };

inline constexpr std::size_t kMaxLineBytes = 1024 * 1024;

// Runs a session over a connected socket: sends the greeting, splits what arrives into lines, sends
// the answers. Returns when the session has finished, the client leaves, stays silent for
// idleTimeoutMs, sends a line longer than kMaxLineBytes, or stopping becomes true (checked at
// least every 250 ms). The socket stays open.
// startTls runs the server's handshake when the session asks for it (none: the session never does).
ConnectionEnd runConnection(platform::SocketHandle socket, LineSession& session,
                            const std::atomic<bool>& stopping, unsigned long idleTimeoutMs,
                            const std::function<bool()>& startTls = {});

}  // namespace mailsandbox
