// The stand-in's STARTTLS, STLS and implicit TLS, through the platform's TLS client pinned to the
// certificate the stand-in made for itself.
#include "platform/tls.h"

#include <gtest/gtest.h>

#include <string>

#include "certificate.h"
#include "event_log.h"
#include "platform/socket.h"
#include "sandbox_root.h"
#include "server.h"

namespace mailsandbox {
namespace {

class StandInTls : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(ensureCertificate(root.layout.appDirectory() + "/tls", certificate, error))
        << error;
    server.enableTls(certificate, 0, 0);
    ASSERT_TRUE(server.start(0, 0, error)) << error;
  }
  void TearDown() override {
    platform::closeSocket(socket);
    server.stop();
  }

  void connect(std::uint16_t port) {
    socket = platform::tcpSocket();
    ASSERT_TRUE(platform::connectTcp(socket, "127.0.0.1", port));
  }
  // Everything up to and including a line that starts with `last`.
  std::string readUntil(const std::string& last) {
    std::string got;
    char buffer[4096];
    while (got.find("\r\n" + last) == std::string::npos && got.rfind(last, 0) != 0) {
      if (platform::waitReadable(socket, 5000) != 1) break;
      const long n = platform::receiveSome(socket, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  void send(const std::string& text) {
    ASSERT_EQ(platform::sendAll(socket, text.data(), text.size()), static_cast<long>(text.size()));
  }
  void secure() {
    platform::TlsOptions options;
    options.hostName = "127.0.0.1";
    options.pinnedSha256 = certificate.sha256;
    std::string failure;
    ASSERT_TRUE(platform::startTls(socket, options, failure)) << failure;
  }

  test::SandboxRoot root{"boss@demo.test"};
  EventLog log{stderr};
  Server server{root.layout, log};
  Certificate certificate;
  platform::SocketHandle socket = platform::kInvalidSocket;
};

TEST_F(StandInTls, CertificateIsKeptAcrossStarts) {
  Certificate again;
  std::string error;
  ASSERT_TRUE(ensureCertificate(root.layout.appDirectory() + "/tls", again, error)) << error;
  EXPECT_EQ(again.sha256, certificate.sha256);
  EXPECT_EQ(again.sha256.size(), 95u);
}

// Commands sent in clear behind STARTTLS are dropped, not run inside the secured session.
TEST_F(StandInTls, StartTlsOffersUpgradesAndDropsWhatCameAfterIt) {
  connect(server.smtpPort());
  readUntil("220 ");
  send("EHLO client\r\n");
  EXPECT_NE(readUntil("250 ").find("250-STARTTLS\r\n"), std::string::npos);
  send("STARTTLS\r\nMAIL FROM:<intruder@demo.test>\r\n");
  EXPECT_EQ(readUntil("220 ").substr(0, 4), "220 ");
  secure();
  send("EHLO client\r\n");
  const std::string secured = readUntil("250 ");
  EXPECT_EQ(secured.find("STARTTLS"), std::string::npos) << secured;
  send("RCPT TO:<boss@demo.test>\r\n");
  EXPECT_EQ(readUntil("5").substr(0, 3), "503");
}

TEST_F(StandInTls, StlsAndImplicitTlsLogIn) {
  for (bool implicit : {false, true}) {
    SCOPED_TRACE(implicit ? "POP3S" : "STLS");
    platform::closeSocket(socket);
    connect(implicit ? server.pop3sPort() : server.pop3Port());
    if (implicit) secure();
    readUntil("+OK");
    if (!implicit) {
      send("CAPA\r\n");
      EXPECT_NE(readUntil(".").find("STLS\r\n"), std::string::npos);
      send("STLS\r\n");
      readUntil("+OK");
      secure();
      send("STLS\r\n");
      EXPECT_EQ(readUntil("-ERR").substr(0, 4), "-ERR");
    }
    send("USER boss@demo.test\r\nPASS boss-pw\r\n");
    std::string replies = readUntil("+OK send PASS");
    replies += readUntil("+OK");
    EXPECT_NE(replies.find("+OK boss@demo.test has 0 messages"), std::string::npos) << replies;
  }
}

}  // namespace
}  // namespace mailsandbox
