#pragma once
// IPv4 TCP client sockets. Every failing call stores a Windows-sockets error number as the
// thread's last error (see last_error.h).

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/export.h"

namespace platform {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

// A new IPv4 stream socket, or kInvalidSocket.
PLATFORM_API SocketHandle tcpSocket();
PLATFORM_API bool setReceiveTimeout(SocketHandle s, unsigned long milliseconds);
// A send that the peer does not take within the time fails with 10060 instead of blocking for ever.
PLATFORM_API bool setSendTimeout(SocketHandle s, unsigned long milliseconds);
PLATFORM_API bool setNoDelay(SocketHandle s);
// A dotted IPv4 literal first, else a host-name lookup taking the first IPv4 address. The result is
// in network byte order. A failed lookup sets the last error to 10022.
PLATFORM_API bool resolveIPv4(const char* host, std::uint32_t& addressNetworkOrder);
PLATFORM_API bool connectIPv4(SocketHandle s, std::uint32_t addressNetworkOrder, std::uint16_t port);
// Resolves and connects; sets TCP_NODELAY on success.
PLATFORM_API bool connectTcp(SocketHandle s, const char* host, std::uint16_t port);
// Sends the whole buffer; returns the byte count, or -1 on a socket error.
PLATFORM_API long sendAll(SocketHandle s, const void* data, std::size_t length);
// One receive: the byte count, 0 when the peer has closed, -1 on a socket error.
PLATFORM_API long receiveSome(SocketHandle s, void* buffer, std::size_t capacity);
// 1 when readable (data or the peer's close), 0 on timeout, -1 on error.
PLATFORM_API int waitReadable(SocketHandle s, unsigned long timeoutMs);
PLATFORM_API void closeSocket(SocketHandle s);

}  // namespace platform
