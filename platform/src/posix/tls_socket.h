#pragma once
// The socket functions' way into TLS: for a socket that startTls has upgraded, these carry the data
// and return true; for any other socket they return false and leave the work to the plain calls.

#include <cstddef>

#include "platform/socket.h"

namespace platform::tls {

bool send(SocketHandle s, const void* data, std::size_t length, long& result);
bool receive(SocketHandle s, void* buffer, std::size_t capacity, long& result);
bool waitReadable(SocketHandle s, unsigned long timeoutMs, int& result);
// Sends the closing alert without waiting and forgets the connection; the caller closes the socket.
void forget(SocketHandle s);

}  // namespace platform::tls
