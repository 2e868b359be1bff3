#include "platform/socket.h"

#include "last_error_guard.h"
#include "platform/last_error.h"
#include "winsock.h"

namespace platform {

bool startWinsock() {
  static const int started = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) setLastError(static_cast<unsigned long>(started));
  return started == 0;
}

SocketHandle tcpSocket() {
  const LastErrorGuard guard;
  if (!startWinsock()) return kInvalidSocket;
  SOCKET s =
      ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return kInvalidSocket;
  return guard.succeeded(static_cast<SocketHandle>(s));
}

namespace {
bool setTimeoutOption(SocketHandle s, int option, unsigned long milliseconds) {
  const DWORD value = milliseconds;
  return ::setsockopt(nativeSocket(s), SOL_SOCKET, option, reinterpret_cast<const char*>(&value),
                      sizeof value) == 0;
}
}  // namespace

bool setReceiveTimeout(SocketHandle s, unsigned long milliseconds) {
  return setTimeoutOption(s, SO_RCVTIMEO, milliseconds);
}

bool setSendTimeout(SocketHandle s, unsigned long milliseconds) {
  return setTimeoutOption(s, SO_SNDTIMEO, milliseconds);
}

bool setNoDelay(SocketHandle s) {
  const BOOL on = TRUE;
  return ::setsockopt(nativeSocket(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                      sizeof on) == 0;
}

bool resolveIPv4(const char* host, std::uint32_t& address) {
  // An empty name is no host (Windows' lookup would answer it with this machine's addresses).
  if (host == nullptr || *host == '\0') {
    setLastError(err::kWsaInvalidArgument);
    return false;
  }
  if (!startWinsock()) return false;
  const LastErrorGuard guard;
  in_addr literal{};
  if (::inet_pton(AF_INET, host, &literal) == 1) {
    address = literal.s_addr;
    return guard.succeeded(true);
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
  return guard.succeeded(true);
}

bool connectIPv4(SocketHandle s, std::uint32_t address, std::uint16_t port) {
  const LastErrorGuard guard;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  if (::connect(nativeSocket(s), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return false;
  setNoDelay(s);
  return guard.succeeded(true);
}

bool connectTcp(SocketHandle s, const char* host, std::uint16_t port) {
  std::uint32_t address = 0;
  if (!resolveIPv4(host, address)) return false;
  return connectIPv4(s, address, port);
}

long sendAll(SocketHandle s, const void* data, std::size_t length) {
  const char* p = static_cast<const char*>(data);
  std::size_t sent = 0;
  while (sent < length) {
    const std::size_t left = length - sent;
    const int chunk = left > 0x40000000 ? 0x40000000 : static_cast<int>(left);
    const int n = ::send(nativeSocket(s), p + sent, chunk, 0);
    if (n == SOCKET_ERROR) return -1;
    sent += static_cast<std::size_t>(n);
  }
  return static_cast<long>(sent);
}

long receiveSome(SocketHandle s, void* buffer, std::size_t capacity) {
  const int size = capacity > 0x40000000 ? 0x40000000 : static_cast<int>(capacity);
  const int n = ::recv(nativeSocket(s), static_cast<char*>(buffer), size, 0);
  return n == SOCKET_ERROR ? -1 : static_cast<long>(n);
}

int waitReadable(SocketHandle s, unsigned long timeoutMs) {
  if (s == kInvalidSocket) {
    setLastError(err::kWsaNotSocket);
    return -1;
  }
  WSAPOLLFD p{nativeSocket(s), POLLRDNORM, 0};
  const int rc = ::WSAPoll(&p, 1, pollTimeout(timeoutMs));
  if (rc > 0 && (p.revents & POLLNVAL)) {
    setLastError(err::kWsaNotSocket);
    return -1;
  }
  if (rc == SOCKET_ERROR) return -1;
  return rc > 0 ? 1 : 0;
}

void closeSocket(SocketHandle s) {
  if (s == kInvalidSocket) return;
  // Closing keeps the last error of the call that failed before it.
  const DWORD error = ::GetLastError();
  ::closesocket(nativeSocket(s));
  ::SetLastError(error);
}

}  // namespace platform
