#pragma once
// Winsock for the socket sources: started once per process before the first socket call.

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/socket.h"

namespace platform {

// False, with the last error set, when Winsock cannot be started.
bool startWinsock();

inline SOCKET nativeSocket(SocketHandle s) { return static_cast<SOCKET>(s); }

// The timeout argument of WSAPoll: milliseconds as an int, -1 (wait for ever) beyond its range.
inline int pollTimeout(unsigned long milliseconds) {
  return milliseconds > 0x7fffffffUL ? -1 : static_cast<int>(milliseconds);
}

}  // namespace platform
