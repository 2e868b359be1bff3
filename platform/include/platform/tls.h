#pragma once
// TLS on a connected client socket (OpenSSL). Once the handshake has succeeded, sendAll,
// receiveSome, waitReadable and closeSocket of socket.h carry the connection's data through TLS, so
// that the protocol code above them, with its timeouts and error codes, stays the same.

#include <string>

#include "platform/export.h"
#include "platform/socket.h"

namespace platform {

struct TlsOptions {
  // The name the certificate must carry: a host name, or an IPv4 literal checked against the
  // certificate's IP addresses.
  std::string hostName;
  // A PEM file of further trusted CAs (a company's own CA), besides the system's trust store.
  std::string caFile;
  // The SHA-256 fingerprint of the server's certificate, in hex (colons and blanks are ignored).
  // When set, this is the only check: a self-signed certificate with any name passes.
  std::string pinnedSha256;
  // The handshake as a whole must be done within this time.
  unsigned long timeoutMs = 10000;
};

// Last errors of a failed handshake, numbered like Windows' secure channel numbers them.
namespace err {
// The peer does not speak TLS, answered with something else, or broke off.
inline constexpr unsigned long kTlsHandshakeFailed = 0x80090326UL;
// The server's certificate was not accepted: its chain, its name or the pinned fingerprint.
inline constexpr unsigned long kTlsCertificateRejected = 0x80090325UL;
}  // namespace err

// Runs the client handshake on a connected socket. False on failure, with the last error 10060
// (timeout), kTlsHandshakeFailed or kTlsCertificateRejected, and a description in `failure` that
// says which check failed and for which name. A socket that failed stays usable only for closing.
PLATFORM_API bool startTls(SocketHandle s, const TlsOptions& options, std::string& failure);
PLATFORM_API bool isTls(SocketHandle s);
// The server side, for test servers and the mail-server stand-in: the handshake on an accepted
// socket with the certificate chain and key of the PEM files. Failures as for startTls.
PLATFORM_API bool acceptTls(SocketHandle s, const std::string& certificateFile,
                            const std::string& keyFile, unsigned long timeoutMs,
                            std::string& failure);
// The SHA-256 fingerprint of the peer's certificate as uppercase hex pairs joined by colons; empty
// when the socket is not a TLS connection.
PLATFORM_API std::string peerCertificateSha256(SocketHandle s);

}  // namespace platform
