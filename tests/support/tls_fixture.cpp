#include "tls_fixture.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "temp_dir.h"

namespace testsupport {

namespace {

bool run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string fingerprint(const std::string& dir, const std::string& cert) {
  const std::string out = dir + "/fingerprint.txt";
  if (std::system(("openssl x509 -in '" + cert + "' -noout -fingerprint -sha256 > '" + out +
                   "' 2>/dev/null")
                      .c_str()) != 0)
    return {};
  std::string text = readFile(out);
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return {};
  text = text.substr(eq + 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

TestCertificates makeTestCertificates(const std::string& dir) {
  const std::string cd = "cd '" + dir + "' && ";
  writeFile(dir + "/server.ext",
            "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:127.0.0.2\nbasicConstraints=CA:FALSE\n"
            "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n");
  const bool made =
      run(cd +
          "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "
          "ca.key -out ca.pem -days 30 -subj '/CN=Test CA' "
          "-addext 'basicConstraints=critical,CA:TRUE' -addext "
          "'keyUsage=critical,keyCertSign,cRLSign'") &&
      run(cd +
          "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key "
          "-out server.csr -subj '/CN=localhost'") &&
      run(cd +
          "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 "
          "-extfile server.ext -out server.pem") &&
      run(cd +
          "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "
          "self.key -out self.pem -days 30 "
          "-subj '/CN=self-signed.invalid'") &&
      run("chmod 644 '" + dir + "'/*.pem '" + dir + "'/*.key");
  EXPECT_TRUE(made) << "the openssl tool could not make the test certificates";
  if (!made) return {};
  TestCertificates c;
  c.caFile = dir + "/ca.pem";
  c.serverCert = dir + "/server.pem";
  c.serverKey = dir + "/server.key";
  c.selfSignedCert = dir + "/self.pem";
  c.selfSignedKey = dir + "/self.key";
  c.serverFingerprint = fingerprint(dir, c.serverCert);
  c.selfSignedFingerprint = fingerprint(dir, c.selfSignedCert);
  return c;
}

TlsServer::TlsServer(const std::string& cert, const std::string& key,
                     std::function<void(Session&)> serve, const std::string& address,
                     std::uint16_t port)
    : serve_(std::move(serve)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int reuse = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1 ||
      ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener_, 8) != 0) {
    const std::string reason = std::strerror(errno);
    ::close(listener_);
    throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " +
                             reason);
  }
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  EXPECT_EQ(SSL_CTX_use_certificate_chain_file(ctx, cert.c_str()), 1);
  EXPECT_EQ(SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM), 1);
  ctx_ = ctx;
  socklen_t len = sizeof a;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { run(); });
}

TlsServer::~TlsServer() {
  stopping_ = true;
  thread_.join();
  ::close(listener_);
  SSL_CTX_free(static_cast<SSL_CTX*>(ctx_));
}

void TlsServer::run() {
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    SSL* ssl = nullptr;
    std::string pending;
    Session session;
    session.handshake = [&] {
      ssl = SSL_new(static_cast<SSL_CTX*>(ctx_));
      SSL_set_fd(ssl, client);
      return SSL_accept(ssl) == 1;
    };
    session.send = [&](const std::string& bytes) {
      if (ssl != nullptr) return SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size())) > 0;
      return ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
             static_cast<ssize_t>(bytes.size());
    };
    session.readLine = [&](std::string& line) {
      for (;;) {
        const std::size_t end = pending.find("\r\n");
        if (end != std::string::npos) {
          line = pending.substr(0, end);
          pending.erase(0, end + 2);
          return true;
        }
        char buffer[4096];
        pollfd q{client, POLLIN, 0};
        if (ssl == nullptr || SSL_pending(ssl) == 0) {
          // Up to ten seconds, but the server's end ends the wait.
          int waited = 0;
          while (::poll(&q, 1, 50) == 0) {
            if (stopping_ || (waited += 50) >= 10000) return false;
          }
        }
        const int n = ssl != nullptr ? SSL_read(ssl, buffer, sizeof buffer)
                                     : static_cast<int>(::recv(client, buffer, sizeof buffer, 0));
        if (n <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(n));
      }
    };
    serve_(session);
    if (ssl != nullptr) {
      SSL_shutdown(ssl);
      SSL_free(ssl);
    }
    ERR_clear_error();
    ::close(client);
  }
}

}  // namespace testsupport
