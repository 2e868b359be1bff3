#include "client/reply_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/clock.h"
#include "platform/last_error.h"

namespace postwell {

namespace {

// Makes room for at least one more byte and the terminating zero.
bool grow(ReplyBuffer& b) {
  const std::size_t most = b.limit != 0 ? b.limit + 1 : std::numeric_limits<std::size_t>::max();
  if (b.grown == nullptr || b.capacity >= most) {
    platform::setLastError(platform::err::kWsaMessageSize);
    return false;
  }
  const std::size_t step = std::max<std::size_t>(b.doubling ? std::max(b.growBy, b.capacity) : b.growBy, 1);
  const std::size_t larger = step >= most - b.capacity ? most : b.capacity + step;
  char* next = new (std::nothrow) char[larger];
  if (next == nullptr) {
    platform::setLastError(platform::err::kNotEnoughMemory);
    return false;
  }
  if (b.received > 0) std::memcpy(next, b.data, b.received);
  delete[] *b.grown;
  *b.grown = b.data = next;
  b.capacity = larger;
  return true;
}

}  // namespace

std::size_t findTerminator(std::string_view received, std::size_t firstNewByte, std::string_view terminator) {
  const std::size_t from = firstNewByte >= terminator.size() ? firstNewByte - terminator.size() + 1 : 0;
  return received.find(terminator, from);
}

ReplyRead receiveReply(platform::SocketHandle socket, unsigned long idleTimeoutMs, ReplyBuffer& b,
                       const std::function<bool(std::string_view, std::size_t)>& isComplete) {
  auto fail = [&b] {
    if (b.capacity > 0) b.data[std::min(b.received, b.capacity - 1)] = '\0';
    return ReplyRead::Failed;
  };
  const std::uint32_t started = platform::tickCount();
  std::uint32_t lastActivity = started;
  for (;;) {
    if (b.received + 1 >= b.capacity && !grow(b)) return fail();

    const std::uint32_t now = platform::tickCount();
    const std::uint64_t idle = static_cast<std::uint32_t>(now - lastActivity);
    const std::uint64_t elapsed = static_cast<std::uint32_t>(now - started);
    const std::uint64_t allowed =
        kReplyGraceTimeouts * idleTimeoutMs + static_cast<std::uint64_t>(b.received) * 1000 / kMinimumReplyRate;
    if (idle > idleTimeoutMs || elapsed > allowed) {
      platform::setLastError(platform::err::kWsaTimedOut);
      return fail();
    }
    const std::uint64_t wait = std::min<std::uint64_t>(idleTimeoutMs - idle, allowed - elapsed) + 1;
    const int ready = platform::waitReadable(socket, static_cast<unsigned long>(wait));
    if (ready < 0) return fail();
    if (ready == 0) continue;

    const long count = platform::receiveSome(socket, b.data + b.received, b.capacity - b.received - 1);
    if (count < 0) return fail();
    if (count == 0) {
      // The peer has closed: nothing more can arrive, which is a timeout without the wait.
      platform::setLastError(platform::err::kWsaTimedOut);
      return fail();
    }
    const std::size_t firstNew = b.received;
    b.received += static_cast<std::size_t>(count);
    b.data[b.received] = '\0';
    lastActivity = platform::tickCount();
    if (isComplete(std::string_view(b.data, b.received), firstNew)) return ReplyRead::Complete;
  }
}

}  // namespace postwell
