#include "platform/tcp_listener.h"

#include "last_error_guard.h"
#include "platform/last_error.h"
#include "winsock.h"

namespace platform {

TcpListener::~TcpListener() { close(); }

bool TcpListener::listenLoopback(std::uint16_t port) {
  return listenOn(htonl(INADDR_LOOPBACK), port);
}

bool TcpListener::listenOn(std::uint32_t addressNetworkOrder, std::uint16_t port) {
  close();
  const LastErrorGuard guard;
  if (!startWinsock()) return false;
  SOCKET s =
      ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return false;
  // Exclusive, so that a second listener on the port fails with 10048 instead of sharing it.
  const BOOL on = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  // Non-blocking, so that a client that leaves between the wait and the accept cannot block it.
  u_long nonBlocking = 1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = addressNetworkOrder;
  address.sin_port = htons(port);
  int length = sizeof address;
  if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
      ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s, SOMAXCONN) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const DWORD error = ::GetLastError();
    ::closesocket(s);
    setLastError(error);
    return false;
  }
  socket_ = static_cast<SocketHandle>(s);
  port_ = ntohs(address.sin_port);
  return guard.succeeded(true);
}

SocketHandle TcpListener::accept(unsigned long timeoutMs) {
  const LastErrorGuard guard;
  if (socket_ == kInvalidSocket) {
    setLastError(err::kWsaNotSocket);
    return kInvalidSocket;
  }
  WSAPOLLFD p{nativeSocket(socket_), POLLRDNORM, 0};
  const int ready = ::WSAPoll(&p, 1, pollTimeout(timeoutMs));
  if (ready == 0) {
    setLastError(err::kWsaTimedOut);
    return kInvalidSocket;
  }
  if (ready == SOCKET_ERROR) return kInvalidSocket;
  SOCKET client = ::accept(nativeSocket(socket_), nullptr, nullptr);
  if (client == INVALID_SOCKET) {
    // A client that gave up between the wait and the accept is no failure of the listener.
    const DWORD error = ::GetLastError();
    setLastError(error == WSAEWOULDBLOCK || error == WSAECONNRESET ? err::kWsaTimedOut : error);
    return kInvalidSocket;
  }
  // An accepted socket inherits the listener's non-blocking mode; its users expect blocking calls.
  u_long blocking = 0;
  ::ioctlsocket(client, FIONBIO, &blocking);
  const SocketHandle handle = static_cast<SocketHandle>(client);
  setNoDelay(handle);
  return guard.succeeded(handle);
}

void TcpListener::close() {
  if (socket_ != kInvalidSocket) ::closesocket(nativeSocket(socket_));
  socket_ = kInvalidSocket;
  port_ = 0;
}

}  // namespace platform
