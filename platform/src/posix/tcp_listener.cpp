#include "platform/tcp_listener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/last_error.h"
#include "poll_timeout.h"
#include "socket_errors.h"

namespace platform {

TcpListener::~TcpListener() { close(); }

bool TcpListener::listenLoopback(std::uint16_t port) {
  return listenOn(htonl(INADDR_LOOPBACK), port);
}

bool TcpListener::listenOn(std::uint32_t addressNetworkOrder, std::uint16_t port) {
  close();
  // Non-blocking, so that a client that leaves between the wait and the accept cannot block it.
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (s < 0) {
    setSocketErrorFromErrno();
    return false;
  }
  int on = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = addressNetworkOrder;
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, SOMAXCONN) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    setSocketErrorFromErrno();
    ::close(s);
    return false;
  }
  socket_ = s;
  port_ = ntohs(address.sin_port);
  return true;
}

SocketHandle TcpListener::accept(unsigned long timeoutMs) {
  if (socket_ == kInvalidSocket) {
    setLastError(err::kWsaNotSocket);
    return kInvalidSocket;
  }
  pollfd p{fd(socket_), POLLIN, 0};
  int ready = ::poll(&p, 1, pollTimeout(timeoutMs));
  if (ready == 0) {
    setLastError(err::kWsaTimedOut);
    return kInvalidSocket;
  }
  if (ready < 0) {
    setSocketErrorFromErrno();
    return kInvalidSocket;
  }
  int client = ::accept4(fd(socket_), nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) {
    // A client that gave up between the wait and the accept is no failure of the listener.
    setLastError(errno == EAGAIN || errno == ECONNABORTED ? err::kWsaTimedOut : socketErrorFromErrno(errno));
    return kInvalidSocket;
  }
  setNoDelay(client);
  return client;
}

void TcpListener::close() {
  if (socket_ != kInvalidSocket) ::close(fd(socket_));
  socket_ = kInvalidSocket;
  port_ = 0;
}

}  // namespace platform
