#pragma once
// The server side of IPv4 TCP on the loopback interface. Accepted connections are ordinary sockets
// of socket.h. Failures store a Windows-sockets error number as the thread's last error.

#include <cstdint>

#include "platform/export.h"
#include "platform/socket.h"

namespace platform {

class PLATFORM_API TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Binds 127.0.0.1:port and listens; port 0 picks a free port. False when the port is taken
  // (10048) or the socket cannot be made.
  bool listenLoopback(std::uint16_t port);
  // The same on another local IPv4 address (network byte order), such as 127.0.0.2.
  bool listenOn(std::uint32_t addressNetworkOrder, std::uint16_t port);
  // The port actually bound, 0 before listening.
  std::uint16_t port() const { return port_; }
  // Waits up to timeoutMs for a client and returns its connection. kInvalidSocket with the last
  // error 10060 when none came in time, 10004 when a signal cut the wait short, another number when
  // the listener failed.
  SocketHandle accept(unsigned long timeoutMs);
  void close();

 private:
  SocketHandle socket_ = kInvalidSocket;
  std::uint16_t port_ = 0;
};

}  // namespace platform
