#include "platform/last_error.h"

#include <windows.h>

#include <cerrno>

namespace platform {

// The OS keeps the thread's last error; Winsock's errors are the same value.
unsigned long lastError() { return ::GetLastError(); }

void setLastError(unsigned long code) { ::SetLastError(code); }

unsigned long socketErrorFromErrno(int e) {
  switch (e) {
    case 0:
      return err::kSuccess;
    case EINTR:
      return err::kWsaInterrupted;
    case EBADF:
      return err::kWsaBadHandle;
    case EACCES:
      return err::kWsaAccess;
    case EFAULT:
      return err::kWsaFault;
    case EINVAL:
      return err::kWsaInvalidArgument;
    case EMFILE:
    case ENFILE:
      return err::kWsaTooManySockets;
    case EAGAIN:
      return err::kWsaTimedOut;
    case EINPROGRESS:
      return err::kWsaInProgress;
    case EALREADY:
      return err::kWsaAlready;
    case ENOTSOCK:
      return err::kWsaNotSocket;
    case EMSGSIZE:
      return err::kWsaMessageSize;
    case EPROTONOSUPPORT:
      return err::kWsaProtocolNotSupported;
    case EAFNOSUPPORT:
      return err::kWsaAddressFamilyNotSupported;
    case EADDRINUSE:
      return err::kWsaAddressInUse;
    case EADDRNOTAVAIL:
      return err::kWsaAddressNotAvailable;
    case ENETDOWN:
      return err::kWsaNetworkDown;
    case ENETUNREACH:
      return err::kWsaNetworkUnreachable;
    case ECONNABORTED:
      return err::kWsaConnectionAborted;
    case ECONNRESET:
    case EPIPE:
      return err::kWsaConnectionReset;
    case ENOBUFS:
    case ENOMEM:
      return err::kWsaNoBuffers;
    case ENOTCONN:
      return err::kWsaNotConnected;
    case ETIMEDOUT:
      return err::kWsaTimedOut;
    case ECONNREFUSED:
      return err::kWsaConnectionRefused;
    case EHOSTUNREACH:
      return err::kWsaHostUnreachable;
    default:
      return 10000UL + static_cast<unsigned long>(e);
  }
}

unsigned long fileErrorFromErrno(int e) {
  switch (e) {
    case 0:
      return err::kSuccess;
    case ENOENT:
      return err::kFileNotFound;
    case ENOTDIR:
      return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return err::kAccessDenied;
    case ENOMEM:
      return err::kNotEnoughMemory;
    case EBUSY:
    case ETXTBSY:
      return err::kSharingViolation;
    case EEXIST:
      return err::kAlreadyExists;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case EILSEQ:
      return ERROR_NO_UNICODE_TRANSLATION;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace platform
