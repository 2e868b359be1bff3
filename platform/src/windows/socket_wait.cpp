#include "platform/socket_wait.h"

#include "platform/clock.h"
#include "platform/last_error.h"
#include "winsock.h"

namespace platform {

int waitSockets(std::vector<SocketInterest>& sockets, unsigned long timeoutMs) {
  // WSAPoll refuses an empty set; a wait on nothing is a sleep, as poll() makes it.
  if (sockets.empty()) {
    sleepMs(timeoutMs);
    return 0;
  }
  std::vector<WSAPOLLFD> polled;
  polled.reserve(sockets.size());
  for (const SocketInterest& s : sockets) {
    SHORT events = 0;
    if (s.wantRead) events |= POLLRDNORM;
    if (s.wantWrite) events |= POLLWRNORM;
    polled.push_back({nativeSocket(s.socket), events, 0});
  }
  const int ready =
      ::WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), pollTimeout(timeoutMs));
  if (ready == SOCKET_ERROR) return -1;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    const SHORT got = polled[i].revents;
    sockets[i].readable = (got & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
    sockets[i].writable = (got & POLLWRNORM) != 0;
  }
  return ready;
}

}  // namespace platform
