#pragma once
// The thread's last error, numbered as Windows numbers it (10060 timed out, 10061 refused, 2 file not
// found, ...). It lives in this shared library so that every library and program of a process sees
// the same value for a thread.

#include "platform/export.h"

namespace platform {

// Windows-sockets and Windows system error numbers that callers compare against.
namespace err {
inline constexpr unsigned long kSuccess = 0;
inline constexpr unsigned long kFileNotFound = 2;
inline constexpr unsigned long kPathNotFound = 3;
inline constexpr unsigned long kAccessDenied = 5;
inline constexpr unsigned long kNotEnoughMemory = 8;
inline constexpr unsigned long kBadCommand = 22;
inline constexpr unsigned long kSharingViolation = 32;
inline constexpr unsigned long kFileExists = 80;
inline constexpr unsigned long kAlreadyExists = 183;
inline constexpr unsigned long kWsaInterrupted = 10004;
inline constexpr unsigned long kWsaBadHandle = 10009;
inline constexpr unsigned long kWsaAccess = 10013;
inline constexpr unsigned long kWsaFault = 10014;
inline constexpr unsigned long kWsaInvalidArgument = 10022;
inline constexpr unsigned long kWsaTooManySockets = 10024;
inline constexpr unsigned long kWsaWouldBlock = 10035;
inline constexpr unsigned long kWsaInProgress = 10036;
inline constexpr unsigned long kWsaAlready = 10037;
inline constexpr unsigned long kWsaNotSocket = 10038;
inline constexpr unsigned long kWsaMessageSize = 10040;
inline constexpr unsigned long kWsaProtocolNotSupported = 10043;
inline constexpr unsigned long kWsaAddressFamilyNotSupported = 10047;
inline constexpr unsigned long kWsaAddressInUse = 10048;
inline constexpr unsigned long kWsaAddressNotAvailable = 10049;
inline constexpr unsigned long kWsaNetworkDown = 10050;
inline constexpr unsigned long kWsaNetworkUnreachable = 10051;
inline constexpr unsigned long kWsaConnectionAborted = 10053;
inline constexpr unsigned long kWsaConnectionReset = 10054;
inline constexpr unsigned long kWsaNoBuffers = 10055;
inline constexpr unsigned long kWsaNotConnected = 10057;
inline constexpr unsigned long kWsaShutdown = 10058;
inline constexpr unsigned long kWsaTimedOut = 10060;
inline constexpr unsigned long kWsaConnectionRefused = 10061;
inline constexpr unsigned long kWsaHostDown = 10064;
inline constexpr unsigned long kWsaHostUnreachable = 10065;
}  // namespace err

PLATFORM_API unsigned long lastError();
PLATFORM_API void setLastError(unsigned long code);

// Maps an errno value of a socket call to its Windows-sockets number.
PLATFORM_API unsigned long socketErrorFromErrno(int errnoValue);
// Maps an errno value of a file call to its Windows system error number.
PLATFORM_API unsigned long fileErrorFromErrno(int errnoValue);

}  // namespace platform
