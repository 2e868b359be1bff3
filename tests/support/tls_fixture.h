#pragma once
// TLS fixtures: certificates made with the openssl tool, and a small TLS server on loopback that
// plays a POP3/SMTP-like line exchange after its handshake.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace testsupport {

// A private CA and a server certificate it signed for localhost, 127.0.0.1 and 127.0.0.2, plus a
// self-signed certificate from no CA, written into `dir` (which must exist).
struct TestCertificates {
  std::string caFile;
  std::string serverCert;
  std::string serverKey;
  std::string selfSignedCert;
  std::string selfSignedKey;
  // SHA-256 fingerprints, uppercase hex pairs joined by colons.
  std::string serverFingerprint;
  std::string selfSignedFingerprint;
};

// Empty paths (and a gtest failure) when the openssl tool fails.
TestCertificates makeTestCertificates(const std::string& dir);

// Accepts one connection at a time on `address` (127.0.0.1 unless named; a free port unless named;
// throws when it cannot listen there); each is handed to `serve` with a function that
// performs the server side of the handshake (true on success) and functions to send and read
// lines through TLS. `immediate`: the handshake runs at once (implicit TLS); otherwise `serve`
// calls it when its script says.
class TlsServer {
 public:
  struct Session {
    std::function<bool()> handshake;
    std::function<bool(const std::string&)> send;
    // One line without its CR LF; false when the connection ended.
    std::function<bool(std::string&)> readLine;
  };
  TlsServer(const std::string& cert, const std::string& key, std::function<void(Session&)> serve,
            const std::string& address = "127.0.0.1", std::uint16_t port = 0);
  ~TlsServer();
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;
  std::uint16_t port() const { return port_; }

 private:
  void run();
  void* ctx_ = nullptr;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::function<void(Session&)> serve_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace testsupport
