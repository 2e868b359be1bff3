#include "platform/tls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "poll_timeout.h"
#include "socket_errors.h"
#include "tls_socket.h"

namespace platform {

namespace {

struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
  void operator()(X509* cert) const { X509_free(cert); }
};
using SslPtr = std::unique_ptr<SSL, SslFree>;
using CtxPtr = std::unique_ptr<SSL_CTX, SslFree>;
using CertPtr = std::unique_ptr<X509, SslFree>;

// Connections by socket. One thread at a time uses a given connection, as with the plain socket.
std::mutex registryMutex;
std::map<SocketHandle, std::shared_ptr<SSL>> registry;

std::shared_ptr<SSL> find(SocketHandle s) {
  std::lock_guard<std::mutex> lock(registryMutex);
  auto it = registry.find(s);
  return it == registry.end() ? nullptr : it->second;
}

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE on a closed connection; this
// one sends with MSG_NOSIGNAL like sendAll does.
int bioWrite(BIO* bio, const char* data, int length) {
  BIO_clear_retry_flags(bio);
  ssize_t n;
  do {
    n = ::send(static_cast<int>(BIO_get_fd(bio, nullptr)), data, static_cast<std::size_t>(length),
               MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

int bioRead(BIO* bio, char* buffer, int capacity) {
  BIO_clear_retry_flags(bio);
  ssize_t n;
  do {
    n = ::recv(static_cast<int>(BIO_get_fd(bio, nullptr)), buffer,
               static_cast<std::size_t>(capacity), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_read(bio);
  return static_cast<int>(n);
}

BIO_METHOD* socketMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                                 "platform socket");
    const BIO_METHOD* base = BIO_s_socket();
    BIO_meth_set_write(m, bioWrite);
    BIO_meth_set_read(m, bioRead);
    BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(base));
    BIO_meth_set_create(m, BIO_meth_get_create(base));
    BIO_meth_set_destroy(m, BIO_meth_get_destroy(base));
    return m;
  }();
  return method;
}

bool setNonBlocking(SocketHandle s, bool on) {
  const int flags = ::fcntl(fd(s), F_GETFL);
  if (flags < 0) return false;
  return ::fcntl(fd(s), F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

// The socket's receive or send timeout (SO_RCVTIMEO, SO_SNDTIMEO) in milliseconds; none: for ever.
unsigned long socketTimeout(SocketHandle s, int option) {
  timeval tv{};
  socklen_t size = sizeof tv;
  if (::getsockopt(fd(s), SOL_SOCKET, option, &tv, &size) != 0) return ~0UL;
  const unsigned long ms =
      static_cast<unsigned long>(tv.tv_sec) * 1000 + static_cast<unsigned long>(tv.tv_usec) / 1000;
  return ms == 0 ? ~0UL : ms;
}

// Waits until OpenSSL can go on after WANT_READ or WANT_WRITE. 1 ready, 0 timeout, -1 error.
int waitFor(SocketHandle s, int sslError, unsigned long timeoutMs) {
  pollfd p{fd(s), static_cast<short>(sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN), 0};
  for (;;) {
    const int rc = ::poll(&p, 1, pollTimeout(timeoutMs));
    if (rc >= 0) return rc > 0 ? 1 : 0;
    if (errno != EINTR) return -1;
  }
}

std::string openSslErrors() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    char line[256];
    ERR_error_string_n(code, line, sizeof line);
    if (!text.empty()) text += "; ";
    text += line;
  }
  return text;
}

std::string normalisedFingerprint(const std::string& text) {
  std::string hex;
  for (char c : text) {
    if (c == ':' || c == ' ' || c == '\t') continue;
    hex += static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
  }
  return hex;
}

std::string fingerprintOf(X509* cert, bool withColons) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (cert == nullptr || X509_digest(cert, EVP_sha256(), digest, &size) != 1) return {};
  std::string text;
  for (unsigned int i = 0; i < size; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", digest[i]);
    if (withColons && i > 0) text += ':';
    text += pair;
  }
  return text;
}

bool fail(std::string& failure, unsigned long code, std::string text) {
  failure = std::move(text);
  setLastError(code);
  return false;
}

enum class Handshake { Done, TimedOut, SocketFailed, Refused };

// Runs one side of the handshake (SSL_connect or SSL_accept) on the non-blocking socket until it
// ends or the time runs out. Refused: sslError holds why, OpenSSL's error queue the details.
Handshake runHandshake(SocketHandle s, SSL* ssl, int (*step)(SSL*), unsigned long timeoutMs,
                       int& sslError) {
  const std::uint32_t started = tickCount();
  for (;;) {
    ERR_clear_error();
    errno = 0;
    const int rc = step(ssl);
    if (rc == 1) return Handshake::Done;
    sslError = SSL_get_error(ssl, rc);
    if (sslError != SSL_ERROR_WANT_READ && sslError != SSL_ERROR_WANT_WRITE)
      return Handshake::Refused;
    const unsigned long elapsed = static_cast<std::uint32_t>(tickCount() - started);
    const int ready = elapsed >= timeoutMs ? 0 : waitFor(s, sslError, timeoutMs - elapsed);
    if (ready == 0) return Handshake::TimedOut;
    if (ready < 0) return Handshake::SocketFailed;
  }
}

bool isIpLiteral(const std::string& host) {
  in_addr v4{};
  in6_addr v6{};
  return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

}  // namespace

bool startTls(SocketHandle s, const TlsOptions& options, std::string& failure) {
  failure.clear();
  if (s == kInvalidSocket) return fail(failure, err::kWsaNotSocket, "No connection to secure");
  if (isTls(s)) return fail(failure, err::kWsaInvalidArgument, "The connection is secured already");
  ERR_clear_error();
  const std::string& host = options.hostName;
  const bool pinned = !options.pinnedSha256.empty();
  const std::string pin = normalisedFingerprint(options.pinnedSha256);
  if (pinned && pin.size() != 64)
    return fail(failure, err::kWsaInvalidArgument,
                "The pinned certificate fingerprint is not a SHA-256 fingerprint (64 hex digits)");

  CtxPtr ctx(SSL_CTX_new(TLS_client_method()));
  if (!ctx) return fail(failure, err::kNotEnoughMemory, "Could not set up TLS: " + openSslErrors());
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  if (!pinned) {
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(ctx.get());
    if (!options.caFile.empty() &&
        SSL_CTX_load_verify_locations(ctx.get(), options.caFile.c_str(), nullptr) != 1)
      return fail(failure, err::kTlsCertificateRejected,
                  "Could not read the CA file " + options.caFile + ": " + openSslErrors());
  } else {
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_NONE, nullptr);
  }

  SslPtr ssl(SSL_new(ctx.get()));
  BIO* bio = BIO_new(socketMethod());
  if (!ssl || bio == nullptr) {
    BIO_free(bio);
    return fail(failure, err::kNotEnoughMemory, "Could not set up TLS: " + openSslErrors());
  }
  BIO_set_fd(bio, fd(s), BIO_NOCLOSE);
  SSL_set_bio(ssl.get(), bio, bio);
  if (!host.empty() && !isIpLiteral(host)) SSL_set_tlsext_host_name(ssl.get(), host.c_str());
  if (!pinned) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl.get());
    const int named = host.empty()        ? 0
                      : isIpLiteral(host) ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                                          : SSL_set1_host(ssl.get(), host.c_str());
    if (named != 1)
      return fail(failure, err::kWsaInvalidArgument,
                  "No host name to check the server's certificate against");
  }

  if (!setNonBlocking(s, true)) {
    setSocketErrorFromErrno();
    failure = "Could not prepare the connection for TLS";
    return false;
  }
  int sslError = 0;
  switch (runHandshake(s, ssl.get(), SSL_connect, options.timeoutMs, sslError)) {
    case Handshake::Done:
      break;
    case Handshake::TimedOut:
      return fail(failure, err::kWsaTimedOut,
                  "The TLS handshake with " + host + " did not finish within the timeout");
    case Handshake::SocketFailed:
      setSocketErrorFromErrno();
      failure = "The TLS handshake with " + host + " failed on the socket";
      return false;
    case Handshake::Refused: {
      const long verified = SSL_get_verify_result(ssl.get());
      if (!pinned && verified != X509_V_OK)
        return fail(failure, err::kTlsCertificateRejected,
                    "The certificate of " + host +
                        " was not accepted: " + X509_verify_cert_error_string(verified));
      const std::string detail = openSslErrors();
      if (sslError == SSL_ERROR_SYSCALL || sslError == SSL_ERROR_ZERO_RETURN)
        return fail(failure, err::kTlsHandshakeFailed,
                    "The server " + host + " closed the connection during the TLS handshake" +
                        (detail.empty() ? std::string() : ": " + detail));
      return fail(failure, err::kTlsHandshakeFailed,
                  "The TLS handshake with " + host + " failed" +
                      (detail.empty() ? std::string() : ": " + detail));
    }
  }
  if (pinned) {
    CertPtr cert(SSL_get1_peer_certificate(ssl.get()));
    const std::string seen = fingerprintOf(cert.get(), false);
    if (seen != pin)
      return fail(failure, err::kTlsCertificateRejected,
                  "The certificate of " + host + " does not match the pinned fingerprint (it has " +
                      fingerprintOf(cert.get(), true) + ")");
  }
  std::lock_guard<std::mutex> lock(registryMutex);
  registry[s] = std::shared_ptr<SSL>(ssl.release(), SslFree{});
  return true;
}

bool isTls(SocketHandle s) { return find(s) != nullptr; }

bool acceptTls(SocketHandle s, const std::string& certificateFile, const std::string& keyFile,
               unsigned long timeoutMs, std::string& failure) {
  failure.clear();
  if (s == kInvalidSocket) return fail(failure, err::kWsaNotSocket, "No connection to secure");
  ERR_clear_error();
  CtxPtr ctx(SSL_CTX_new(TLS_server_method()));
  if (!ctx) return fail(failure, err::kNotEnoughMemory, "Could not set up TLS: " + openSslErrors());
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  if (SSL_CTX_use_certificate_chain_file(ctx.get(), certificateFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
    return fail(failure, err::kTlsCertificateRejected,
                "Could not load the certificate " + certificateFile + ": " + openSslErrors());
  SslPtr ssl(SSL_new(ctx.get()));
  BIO* bio = BIO_new(socketMethod());
  if (!ssl || bio == nullptr) {
    BIO_free(bio);
    return fail(failure, err::kNotEnoughMemory, "Could not set up TLS: " + openSslErrors());
  }
  BIO_set_fd(bio, fd(s), BIO_NOCLOSE);
  SSL_set_bio(ssl.get(), bio, bio);
  if (!setNonBlocking(s, true)) {
    setSocketErrorFromErrno();
    failure = "Could not prepare the connection for TLS";
    return false;
  }
  int sslError = 0;
  switch (runHandshake(s, ssl.get(), SSL_accept, timeoutMs, sslError)) {
    case Handshake::Done:
      break;
    case Handshake::TimedOut:
      return fail(failure, err::kWsaTimedOut,
                  "The client did not finish the TLS handshake in time");
    case Handshake::SocketFailed:
      setSocketErrorFromErrno();
      failure = "The TLS handshake with the client failed on the socket";
      return false;
    case Handshake::Refused: {
      const std::string detail = openSslErrors();
      return fail(failure, err::kTlsHandshakeFailed,
                  "The TLS handshake with the client failed" +
                      (detail.empty() ? std::string() : ": " + detail));
    }
  }
  std::lock_guard<std::mutex> lock(registryMutex);
  registry[s] = std::shared_ptr<SSL>(ssl.release(), SslFree{});
  return true;
}

std::string peerCertificateSha256(SocketHandle s) {
  const std::shared_ptr<SSL> ssl = find(s);
  if (!ssl) return {};
  CertPtr cert(SSL_get1_peer_certificate(ssl.get()));
  return fingerprintOf(cert.get(), true);
}

namespace tls {

namespace {

// Sets the last error for a failed read or write; a timeout reads as the socket's own would.
void setFailure(int sslError) {
  if (sslError == SSL_ERROR_SYSCALL && errno != 0)
    setSocketErrorFromErrno();
  else
    setLastError(err::kWsaConnectionReset);
}

}  // namespace

bool send(SocketHandle s, const void* data, std::size_t length, long& result) {
  const std::shared_ptr<SSL> ssl = find(s);
  if (!ssl) return false;
  const char* p = static_cast<const char*>(data);
  std::size_t sent = 0;
  const unsigned long timeoutMs = socketTimeout(s, SO_SNDTIMEO);
  while (sent < length) {
    ERR_clear_error();
    errno = 0;
    std::size_t written = 0;
    const int rc = SSL_write_ex(ssl.get(), p + sent, length - sent, &written);
    if (rc == 1) {
      sent += written;
      continue;
    }
    const int sslError = SSL_get_error(ssl.get(), rc);
    if (sslError == SSL_ERROR_WANT_READ || sslError == SSL_ERROR_WANT_WRITE) {
      const int ready = waitFor(s, sslError, timeoutMs);
      if (ready > 0) continue;
      if (ready == 0)
        setLastError(err::kWsaTimedOut);
      else
        setSocketErrorFromErrno();
      result = -1;
      return true;
    }
    setFailure(sslError);
    result = -1;
    return true;
  }
  result = static_cast<long>(sent);
  return true;
}

bool receive(SocketHandle s, void* buffer, std::size_t capacity, long& result) {
  const std::shared_ptr<SSL> ssl = find(s);
  if (!ssl) return false;
  const unsigned long timeoutMs = socketTimeout(s, SO_RCVTIMEO);
  for (;;) {
    ERR_clear_error();
    errno = 0;
    std::size_t got = 0;
    const int rc = SSL_read_ex(ssl.get(), buffer, capacity, &got);
    if (rc == 1) {
      result = static_cast<long>(got);
      return true;
    }
    const int sslError = SSL_get_error(ssl.get(), rc);
    if (sslError == SSL_ERROR_WANT_READ || sslError == SSL_ERROR_WANT_WRITE) {
      const int ready = waitFor(s, sslError, timeoutMs);
      if (ready > 0) continue;
      if (ready == 0)
        setLastError(err::kWsaTimedOut);
      else
        setSocketErrorFromErrno();
      result = -1;
      return true;
    }
    // The peer's closing alert, or a plain close without one: either way nothing more arrives, and
    // the protocols above notice a reply cut short by its missing terminator.
    if (sslError == SSL_ERROR_ZERO_RETURN || (sslError == SSL_ERROR_SYSCALL && errno == 0)) {
      result = 0;
      return true;
    }
    setFailure(sslError);
    result = -1;
    return true;
  }
}

bool waitReadable(SocketHandle s, unsigned long timeoutMs, int& result) {
  const std::shared_ptr<SSL> ssl = find(s);
  if (!ssl) return false;
  if (SSL_pending(ssl.get()) > 0) {
    result = 1;
    return true;
  }
  // Bytes on the socket may be only part of a record, or a record without data (a session
  // ticket): readable means a whole record of data, the close, or an error is there.
  const std::uint32_t started = tickCount();
  for (;;) {
    const unsigned long elapsed = static_cast<std::uint32_t>(tickCount() - started);
    const int ready =
        elapsed >= timeoutMs ? 0 : waitFor(s, SSL_ERROR_WANT_READ, timeoutMs - elapsed);
    if (ready <= 0) {
      if (ready < 0) setSocketErrorFromErrno();
      result = ready;
      return true;
    }
    ERR_clear_error();
    char byte;
    std::size_t got = 0;
    const int rc = SSL_peek_ex(ssl.get(), &byte, 1, &got);
    if (rc == 1 || SSL_get_error(ssl.get(), rc) != SSL_ERROR_WANT_READ) {
      result = 1;
      return true;
    }
  }
}

void forget(SocketHandle s) {
  std::shared_ptr<SSL> ssl;
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto it = registry.find(s);
    if (it == registry.end()) return;
    ssl = std::move(it->second);
    registry.erase(it);
  }
  // The socket is non-blocking: the closing alert goes out if it can, and nothing waits for the
  // peer's.
  ERR_clear_error();
  SSL_shutdown(ssl.get());
  ERR_clear_error();
}

}  // namespace tls

}  // namespace platform
