#pragma once
// Shared by the socket sources of the platform: the descriptor behind a handle, and the thread's
// last error from errno in Windows-sockets numbering.

#include <cerrno>

#include "platform/last_error.h"
#include "platform/socket.h"

namespace platform {

inline int fd(SocketHandle s) { return static_cast<int>(s); }
inline void setSocketErrorFromErrno() { setLastError(socketErrorFromErrno(errno)); }

}  // namespace platform
