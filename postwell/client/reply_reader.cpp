#include "client/reply_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/clock.h"
#include "platform/last_error.h"

namespace postwell {

namespace {

bool grow(ReplyBuffer& b) {
  if (b.grown == nullptr || (b.limit != 0 && b.capacity >= b.limit)) {
    platform::setLastError(platform::err::kWsaMessageSize);
    return false;
  }
  const std::size_t step = b.doubling ? std::max(b.growBy, b.capacity) : b.growBy;
  const std::size_t larger = b.capacity + std::max<std::size_t>(step, 1);
  char* next = new (std::nothrow) char[larger];
  if (next == nullptr) {
    platform::setLastError(platform::err::kNotEnoughMemory);
    return false;
  }
  std::memcpy(next, b.data, b.received);
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
    if (b.capacity > 0) b.data[b.received] = '\0';
    return ReplyRead::Failed;
  };
  std::uint32_t lastActivity = platform::tickCount();
  for (;;) {
    const std::uint32_t idle = platform::tickCount() - lastActivity;
    if (idle > idleTimeoutMs) {
      platform::setLastError(platform::err::kWsaTimedOut);
      return fail();
    }
    const int ready = platform::waitReadable(socket, idleTimeoutMs - idle + 1);
    if (ready < 0) return fail();
    if (ready == 0) continue;

    if (b.received + 1 >= b.capacity && !grow(b)) return fail();
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
