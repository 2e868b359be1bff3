#include "platform/tls.h"

#include "platform/last_error.h"

// TLS is not built into the Windows backend yet (it would use the system's secure channel): every
// handshake fails at once with a description that says so, before anything is sent.

namespace platform {

namespace {

bool notAvailable(std::string& failure) {
  failure = "TLS is not available in this Windows build";
  setLastError(err::kTlsHandshakeFailed);
  return false;
}

}  // namespace

bool startTls(SocketHandle, const TlsOptions&, std::string& failure) {
  return notAvailable(failure);
}

bool isTls(SocketHandle) { return false; }

bool acceptTls(SocketHandle, const std::string&, const std::string&, unsigned long,
               std::string& failure) {
  return notAvailable(failure);
}

std::string peerCertificateSha256(SocketHandle) { return std::string(); }

}  // namespace platform
