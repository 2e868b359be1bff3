#pragma once
// Receiving one server reply for the POP3 and SMTP sessions: wait for readability within the idle
// timeout and the reply's deadline, grow the buffer as the reply does, stop when the caller
// recognises the reply's end.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/socket.h"

namespace postwell {

// Where a reply is received: the caller's buffer first, then buffers the reader allocates and
// publishes through `grown` (the caller releases the last one).
struct ReplyBuffer {
  char* data;
  std::size_t capacity;
  char** grown;
  std::size_t growBy;
  bool doubling = false;       // grow by at least the current size
  std::size_t limit = 0;       // at most this many bytes are received; 0 for no limit
  std::size_t received = 0;
};

// Owns the buffer the reader allocated on the caller's behalf.
struct GrownBuffer {
  char* data = nullptr;
  GrownBuffer() = default;
  GrownBuffer(const GrownBuffer&) = delete;
  GrownBuffer& operator=(const GrownBuffer&) = delete;
  ~GrownBuffer() { delete[] data; }
};

enum class ReplyRead { Complete, Failed };

// A whole reply may take two idle timeouts, plus one second for every kMinimumReplyRate bytes
// that have arrived. A server that keeps the connection busy with a byte now and then is given up
// on after about two idle timeouts, while a large message on a slow link (down to 4 KiB/s, about a
// 32 kbit/s line) still arrives; with the size limits of the sessions this bounds every reply in
// time as well.
inline constexpr std::uint64_t kMinimumReplyRate = 4096;
inline constexpr std::uint64_t kReplyGraceTimeouts = 2;

// Reads until `isComplete(received, firstNewByte)` holds. On failure the thread's last error says
// why: 10060 when nothing arrived within the idle timeout, the peer closed, or the reply did not
// arrive by its deadline; 10040 when the reply outgrew the limit, 8 when memory ran out, else the
// socket's error. The bytes received so far are always left in buffer.data[0, buffer.received)
// followed by a zero.
ReplyRead receiveReply(platform::SocketHandle socket, unsigned long idleTimeoutMs, ReplyBuffer& buffer,
                       const std::function<bool(std::string_view, std::size_t)>& isComplete);

// The position of the terminator in the received bytes, searching only where new bytes could have
// completed it; npos when it is not there.
std::size_t findTerminator(std::string_view received, std::size_t firstNewByte, std::string_view terminator);

}  // namespace postwell
