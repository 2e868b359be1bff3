#pragma once
// Waiting on several sockets at once, for libraries that drive their own sockets.

#include <vector>

#include "platform/export.h"
#include "platform/socket.h"

namespace platform {

struct SocketInterest {
  SocketHandle socket = kInvalidSocket;
  bool wantRead = false;
  bool wantWrite = false;
  // Set by waitSockets. A socket in error or closed by the peer counts as readable.
  bool readable = false;
  bool writable = false;
};

// Waits until one of the sockets is ready as wanted or the timeout (milliseconds) has passed. The
// number of ready sockets, 0 on timeout, -1 on error (last error set).
PLATFORM_API int waitSockets(std::vector<SocketInterest>& sockets, unsigned long timeoutMs);

}  // namespace platform
