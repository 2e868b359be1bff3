#include "platform/socket_wait.h"

#include <cerrno>
#include <poll.h>

#include "platform/last_error.h"
#include "poll_timeout.h"

namespace platform {

int waitSockets(std::vector<SocketInterest>& sockets, unsigned long timeoutMs) {
  std::vector<pollfd> polled;
  polled.reserve(sockets.size());
  for (const SocketInterest& s : sockets) {
    short events = 0;
    if (s.wantRead) events |= POLLIN;
    if (s.wantWrite) events |= POLLOUT;
    polled.push_back({static_cast<int>(s.socket), events, 0});
  }
  const int timeout = pollTimeout(timeoutMs);
  int ready;
  do {
    ready = ::poll(polled.data(), polled.size(), timeout);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) {
    setLastError(socketErrorFromErrno(errno));
    return -1;
  }
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    const short got = polled[i].revents;
    sockets[i].readable = (got & (POLLIN | POLLHUP | POLLERR)) != 0;
    sockets[i].writable = (got & POLLOUT) != 0;
  }
  return ready;
}

}  // namespace platform
