#include "platform/tls.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/socket.h"
#include "scripted_server.h"
#include "temp_dir.h"
#include "tls_fixture.h"

namespace {

using platform::SocketHandle;

class Tls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testsupport::TempDir;
    certs_ = new testsupport::TestCertificates(testsupport::makeTestCertificates(dir_->path()));
  }
  static void TearDownTestSuite() {
    delete certs_;
    delete dir_;
  }
  void TearDown() override { platform::closeSocket(socket_); }

  SocketHandle connect(std::uint16_t port) {
    socket_ = platform::tcpSocket();
    EXPECT_TRUE(platform::connectTcp(socket_, "127.0.0.1", port));
    return socket_;
  }

  static testsupport::TempDir* dir_;
  static testsupport::TestCertificates* certs_;
  SocketHandle socket_ = platform::kInvalidSocket;
};
testsupport::TempDir* Tls::dir_ = nullptr;
testsupport::TestCertificates* Tls::certs_ = nullptr;

// Implicit TLS: handshake at once, then echo every line until QUIT.
void echo(testsupport::TlsServer::Session& s) {
  if (!s.handshake()) return;
  std::string line;
  while (s.readLine(line) && line != "QUIT") s.send(line + "\r\n");
}

std::string receiveLine(SocketHandle s) {
  std::string got;
  char buffer[65536];
  while (got.find("\r\n") == std::string::npos) {
    if (platform::waitReadable(s, 5000) != 1) break;
    const long n = platform::receiveSome(s, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

struct VerifyCase {
  const char* name;
  const char* host;
  bool selfSigned;  // the server shows the self-signed certificate
  bool withCa;
  int pin;  // 0 none, 1 the server's own fingerprint, 2 the other certificate's
  bool accepted;
  const char* failureHas;
};

class TlsVerify : public Tls, public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(TlsVerify, AcceptsOnlyWhatTheSettingsTrust) {
  const VerifyCase& c = GetParam();
  ASSERT_FALSE(certs_->caFile.empty());
  testsupport::TlsServer server(c.selfSigned ? certs_->selfSignedCert : certs_->serverCert,
                                c.selfSigned ? certs_->selfSignedKey : certs_->serverKey, echo);
  const SocketHandle s = connect(server.port());
  platform::TlsOptions options;
  options.hostName = c.host;
  if (c.withCa) options.caFile = certs_->caFile;
  const std::string& own = c.selfSigned ? certs_->selfSignedFingerprint : certs_->serverFingerprint;
  const std::string& other =
      c.selfSigned ? certs_->serverFingerprint : certs_->selfSignedFingerprint;
  if (c.pin == 1) options.pinnedSha256 = own;
  if (c.pin == 2) options.pinnedSha256 = other;
  std::string failure;
  const bool ok = platform::startTls(s, options, failure);
  EXPECT_EQ(ok, c.accepted) << failure;
  EXPECT_EQ(platform::isTls(s), c.accepted);
  if (!c.accepted) {
    EXPECT_EQ(platform::lastError(), platform::err::kTlsCertificateRejected);
    EXPECT_NE(failure.find(c.failureHas), std::string::npos) << failure;
    EXPECT_NE(failure.find(c.host), std::string::npos) << failure;
    return;
  }
  EXPECT_EQ(platform::peerCertificateSha256(s), own);
  ASSERT_EQ(platform::sendAll(s, "hello\r\n", 7), 7);
  EXPECT_EQ(receiveLine(s), "hello\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TlsVerify,
    ::testing::Values(
        VerifyCase{"ExtraCaByName", "localhost", false, true, 0, true, ""},
        VerifyCase{"ExtraCaByAddress", "127.0.0.1", false, true, 0, true, ""},
        VerifyCase{"WrongName", "mail.example.test", false, true, 0, false, "hostname mismatch"},
        VerifyCase{"WrongAddress", "127.0.0.9", false, true, 0, false, "IP address mismatch"},
        VerifyCase{"UntrustedCa", "localhost", false, false, 0, false,
                   "unable to get local issuer"},
        VerifyCase{"SelfSignedUnpinned", "localhost", true, true, 0, false, "self-signed"},
        VerifyCase{"SelfSignedPinned", "mail.example.test", true, false, 1, true, ""},
        VerifyCase{"WrongPin", "localhost", true, true, 2, false, "pinned fingerprint"},
        // A pin replaces the chain check: the CA-signed certificate is refused unless it is the
        // one.
        VerifyCase{"PinOverridesCa", "localhost", false, true, 2, false, "pinned fingerprint"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Tls, MalformedPinIsRefusedBeforeTheHandshake) {
  testsupport::ScriptedServer server;
  server.connection().silence();
  server.start();
  const SocketHandle s = connect(server.port());
  platform::TlsOptions options;
  options.hostName = "localhost";
  options.pinnedSha256 = "AB:CD";
  std::string failure;
  EXPECT_FALSE(platform::startTls(s, options, failure));
  EXPECT_EQ(platform::lastError(), platform::err::kWsaInvalidArgument);
  EXPECT_EQ(server.received(), "");
}

// Large data both ways, a silent peer within the wait's timeout, the peer's close as 0.
TEST_F(Tls, DataTimeoutsAndCloseBehaveAsOnAPlainSocket) {
  testsupport::TlsServer server(certs_->serverCert, certs_->serverKey,
                                [](testsupport::TlsServer::Session& s) {
                                  if (!s.handshake()) return;
                                  std::string line;
                                  if (!s.readLine(line)) return;
                                  s.send(line + "\r\n");
                                  if (!s.readLine(line))
                                    return;          // "quiet": say nothing until the next line
                                  s.readLine(line);  // then close
                                });
  const SocketHandle s = connect(server.port());
  platform::TlsOptions options{"localhost", certs_->caFile, "", 5000};
  std::string failure;
  ASSERT_TRUE(platform::startTls(s, options, failure)) << failure;

  const std::string big(1 << 20, 'x');
  ASSERT_EQ(platform::sendAll(s, (big + "\r\n").data(), big.size() + 2),
            static_cast<long>(big.size() + 2));
  EXPECT_EQ(receiveLine(s), big + "\r\n");

  ASSERT_EQ(platform::sendAll(s, "quiet\r\n", 7), 7);
  EXPECT_EQ(platform::waitReadable(s, 200), 0);
  ASSERT_TRUE(platform::setReceiveTimeout(s, 200));
  char buffer[16];
  EXPECT_EQ(platform::receiveSome(s, buffer, sizeof buffer), -1);
  EXPECT_EQ(platform::lastError(), platform::err::kWsaTimedOut);

  ASSERT_EQ(platform::sendAll(s, "bye\r\n", 5), 5);
  EXPECT_EQ(platform::waitReadable(s, 5000), 1);
  EXPECT_EQ(platform::receiveSome(s, buffer, sizeof buffer), 0);
}

struct HandshakeFault {
  const char* name;
  const char* answer;  // sent in place of the server's handshake; null: close; "": silence
  unsigned long error;
  const char* failureHas;
};

class TlsHandshakeFault : public Tls, public ::testing::WithParamInterface<HandshakeFault> {};

TEST_P(TlsHandshakeFault, FailsWithinTheTimeout) {
  const HandshakeFault& c = GetParam();
  testsupport::ScriptedServer server;
  testsupport::Script& script = server.connection().pause(50);
  if (c.answer == nullptr)
    script.close();
  else if (*c.answer == '\0')
    script.silence();
  else
    script.send(c.answer).silence();
  server.start();
  const SocketHandle s = connect(server.port());
  platform::TlsOptions options{"localhost", certs_->caFile, "", 500};
  std::string failure;
  const std::uint32_t started = platform::tickCount();
  EXPECT_FALSE(platform::startTls(s, options, failure));
  const std::uint32_t elapsed = platform::tickCount() - started;
  EXPECT_EQ(platform::lastError(), c.error) << failure;
  EXPECT_NE(failure.find(c.failureHas), std::string::npos) << failure;
  EXPECT_FALSE(platform::isTls(s));
  // The timeout bounds the handshake however the peer misbehaves.
  EXPECT_LT(elapsed, 5000u);
  if (c.error == platform::err::kWsaTimedOut) {
    EXPECT_GE(elapsed, 450u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TlsHandshakeFault,
    ::testing::Values(HandshakeFault{"PlainTextReply", "-ERR what is this?\r\n",
                                     platform::err::kTlsHandshakeFailed, "failed"},
                      HandshakeFault{"BinaryGarbage", "\x16\x03\x01\xff\xff\x00garbage",
                                     platform::err::kTlsHandshakeFailed, "failed"},
                      HandshakeFault{"ClosedDuringHandshake", nullptr,
                                     platform::err::kTlsHandshakeFailed, "closed"},
                      HandshakeFault{"Silence", "", platform::err::kWsaTimedOut, "did not finish"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
