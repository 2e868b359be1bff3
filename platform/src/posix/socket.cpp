#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/last_error.h"
#include "poll_timeout.h"
#include "socket_errors.h"
#include "tls_socket.h"

namespace platform {

SocketHandle tcpSocket() {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s < 0) {
    setSocketErrorFromErrno();
    return kInvalidSocket;
  }
  return s;
}

namespace {
bool setTimeoutOption(SocketHandle s, int option, unsigned long milliseconds) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(milliseconds / 1000);
  tv.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
  if (::setsockopt(fd(s), SOL_SOCKET, option, &tv, sizeof tv) != 0) {
    setSocketErrorFromErrno();
    return false;
  }
  return true;
}
}  // namespace

bool setReceiveTimeout(SocketHandle s, unsigned long milliseconds) {
  return setTimeoutOption(s, SO_RCVTIMEO, milliseconds);
}

bool setSendTimeout(SocketHandle s, unsigned long milliseconds) {
  return setTimeoutOption(s, SO_SNDTIMEO, milliseconds);
}

bool setNoDelay(SocketHandle s) {
  int on = 1;
  if (::setsockopt(fd(s), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
    setSocketErrorFromErrno();
    return false;
  }
  return true;
}

bool resolveIPv4(const char* host, std::uint32_t& address) {
  if (host == nullptr) {
    setLastError(err::kWsaInvalidArgument);
    return false;
  }
  in_addr literal{};
  if (::inet_pton(AF_INET, host, &literal) == 1) {
    address = literal.s_addr;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
    setLastError(err::kWsaInvalidArgument);
    return false;
  }
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return true;
}

bool connectIPv4(SocketHandle s, std::uint32_t address, std::uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  int rc;
  do {
    rc = ::connect(fd(s), reinterpret_cast<sockaddr*>(&to), sizeof to);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    setSocketErrorFromErrno();
    return false;
  }
  setNoDelay(s);
  return true;
}

bool connectTcp(SocketHandle s, const char* host, std::uint16_t port) {
  std::uint32_t address = 0;
  if (!resolveIPv4(host, address)) return false;
  return connectIPv4(s, address, port);
}

long sendAll(SocketHandle s, const void* data, std::size_t length) {
  if (long result = 0; tls::send(s, data, length, result)) return result;
  const char* p = static_cast<const char*>(data);
  std::size_t sent = 0;
  while (sent < length) {
    ssize_t n = ::send(fd(s), p + sent, length - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      setSocketErrorFromErrno();
      return -1;
    }
    sent += static_cast<std::size_t>(n);
  }
  return static_cast<long>(sent);
}

long receiveSome(SocketHandle s, void* buffer, std::size_t capacity) {
  if (long result = 0; tls::receive(s, buffer, capacity, result)) return result;
  for (;;) {
    ssize_t n = ::recv(fd(s), buffer, capacity, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    setSocketErrorFromErrno();
    return -1;
  }
}

int waitReadable(SocketHandle s, unsigned long timeoutMs) {
  if (s == kInvalidSocket) {
    setLastError(err::kWsaNotSocket);
    return -1;
  }
  if (int result = 0; tls::waitReadable(s, timeoutMs, result)) return result;
  pollfd p{fd(s), POLLIN, 0};
  for (;;) {
    int rc = ::poll(&p, 1, pollTimeout(timeoutMs));
    if (rc > 0) {
      if (p.revents & POLLNVAL) {
        setLastError(err::kWsaNotSocket);
        return -1;
      }
      return 1;
    }
    if (rc == 0) return 0;
    if (errno == EINTR) continue;
    setSocketErrorFromErrno();
    return -1;
  }
}

void closeSocket(SocketHandle s) {
  if (s == kInvalidSocket) return;
  tls::forget(s);
  ::close(fd(s));
}

}  // namespace platform
