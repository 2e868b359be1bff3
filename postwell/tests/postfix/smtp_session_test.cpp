// The SMTP session against a private Postfix (scripts/peers/postfix.sh) that authenticates through
// the test Dovecot and delivers into its maildirs; delivered messages are fetched back over POP3.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../mail_device_test_support.h"
#include "groundkit/groundkit.h"
#include "postwell/connection_security.h"
#include "postwell/mailbox_device.h"
#include "postfix_peer.h"
#include "temp_dir.h"

namespace {

using smtptest::TestDevice;

std::string base64(const std::string& text) {
  std::vector<char> out(BSCFEM_Base64BufferSize(text.size()));
  unsigned long length = 0;
  BSCFEM_EncodeBase64(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out.data(), out.size(), length);
  std::string encoded(out.data(), length);
  while (!encoded.empty() && (encoded.back() == '\r' || encoded.back() == '\n')) encoded.pop_back();
  return encoded;
}

// Tests against Postfix, with the Dovecot it delivers to; the mailboxes of bob and boss are empty at
// the start. Without the servers the test is skipped, or fails when CI is set.
class Postfix : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!postfix::find(peers, why)) SKIP_OR_FAIL_WITHOUT_PEER(why);
    for (const char* user : {"bob", "boss"}) peers.dovecot.clear(user);
  }

  int port() const { return peers.smtpPort; }

  // Waits for the messages delivered to the user (delivery takes a moment) and takes them.
  std::vector<std::string> delivered(const std::string& user, std::size_t expected) {
    return postfix::delivered(peers, user, expected);
  }

  CSMTPMessage message(const std::string& from, const std::string& content) {
    CSMTPMessage m;
    m.m_From.m_sAddress = from;
    m.m_sContentFile = dir.file("message" + std::to_string(files++) + ".eml");
    testsupport::writeFile(m.m_sContentFile, content);
    return m;
  }

  postfix::Peers peers;
  testsupport::TempDir dir;
  int files = 0;
};

TEST_F(Postfix, HeloIsAnswered) {
  TestDevice device;
  unsigned long error = 0;
  ASSERT_EQ(device.MailFunc_Connect("127.0.0.1", port(), error), 1) << device.GetLastErrorDescription();
  EXPECT_EQ(device.GetLastCommandResponse(), "250 mx.example.test");
  EXPECT_EQ(device.Disconnect(), 1);
}

TEST_F(Postfix, AuthLoginAcceptsTheRightPasswordOnly) {
  TestDevice good;
  unsigned long error = 0;
  ASSERT_EQ(good.MailFunc_ConnectESMTP("127.0.0.1", base64("alice").c_str(), base64("alice-secret").c_str(), port(), error), 1)
      << good.GetLastErrorDescription();
  EXPECT_EQ(good.GetLastCommandResponse(), "235 2.7.0 Authentication successful");

  TestDevice bad;
  EXPECT_EQ(bad.MailFunc_ConnectESMTP("127.0.0.1", base64("alice").c_str(), base64("wrong").c_str(), port(), error), 0);
  EXPECT_EQ(error, 4949u);
  EXPECT_EQ(bad.GetLastCommandResponseCode(), 535);
  EXPECT_EQ(bad.GetLastErrorDescription().rfind("An unexpected AUTH LOGIN passwd response was received 535 5.7.8", 0), 0u)
      << bad.GetLastErrorDescription();
}

TEST_F(Postfix, MessageToTwoRecipientsIsDeliveredByteForByte) {
  TestDevice device;
  unsigned long error = 0;
  ASSERT_EQ(device.MailFunc_ConnectESMTP("127.0.0.1", base64("alice").c_str(), base64("alice-secret").c_str(), port(), error), 1);

  // The content goes out in transfer form, so its doubled dot comes back doubled over POP3. With a
  // Date field Postfix adds fields only at the top.
  std::string content =
      "From: alice@example.test\r\nTo: bob@example.test, boss@example.test\r\nSubject: sign-off test\r\n"
      "Message-ID: <two-recipients@client.example.test>\r\nDate: Wed, 9 Dec 2026 10:00:00 +0000\r\n\r\n..a line that starts with a dot\r\n";
  for (int line = 0; line < 2000; ++line) content += "Body line " + std::to_string(line) + " of a long message.\r\n";
  CSMTPMessage m = message("alice@example.test", content);
  m.m_arrRecipient = {"bob@example.test", "boss@example.test"};
  CMailDevice_SendMailInfo progress;
  m.m_pProgress = &progress;
  ASSERT_EQ(device.MailFunc_SendMailMessage(m, error), 1) << device.GetLastErrorDescription();
  EXPECT_EQ(device.GetLastCommandResponse().rfind("250 2.0.0 Ok: queued as ", 0), 0u);
  EXPECT_EQ(progress.m_nPercent, 100);
  device.Disconnect();

  for (const char* user : {"bob", "boss"}) {
    const std::vector<std::string> messages = delivered(user, 1);
    ASSERT_EQ(messages.size(), 1u) << user;
    const std::string& text = messages[0];
    ASSERT_GT(text.size(), content.size());
    // Postfix adds Return-Path, Delivered-To and Received at the top; the rest is ours.
    EXPECT_TRUE(text.compare(text.size() - content.size(), content.size(), content) == 0) << user;
    EXPECT_EQ(text.rfind("Return-Path: <alice@example.test>\r\n", 0), 0u);
  }
}

TEST_F(Postfix, ContentLineOfASingleDotArrivesWithTheRestOfTheMessage) {
  TestDevice device;
  unsigned long error = 0;
  ASSERT_EQ(device.MailFunc_Connect("127.0.0.1", port(), error), 1);

  const std::string head =
      "From: alice@example.test\r\nTo: bob@example.test\r\nSubject: a lone dot\r\n"
      "Message-ID: <lone-dot@client.example.test>\r\nDate: Wed, 9 Dec 2026 10:00:00 +0000\r\n\r\n";
  CSMTPMessage m = message("alice@example.test", head + "before\r\n.\r\nRSET\r\nafter\n.\nlast\r\n");
  m.m_Recipient1.m_sAddress = "bob@example.test";
  ASSERT_EQ(device.MailFunc_SendMailMessage(m, error), 1) << device.GetLastErrorDescription();
  EXPECT_EQ(device.Disconnect(), 1);

  const std::vector<std::string> messages = delivered("bob", 1);
  ASSERT_EQ(messages.size(), 1u);
  // Over POP3 the lone dots come back stuffed; Postfix makes the bare LF a CR LF.
  const std::string body = "before\r\n..\r\nRSET\r\nafter\r\n..\r\nlast\r\n";
  ASSERT_GT(messages[0].size(), body.size());
  EXPECT_EQ(messages[0].substr(messages[0].size() - body.size()), body);
}

TEST_F(Postfix, RejectedRecipientLeavesTheSessionReadyForTheNextMessage) {
  TestDevice device;
  unsigned long error = 0;
  ASSERT_EQ(device.MailFunc_Connect("127.0.0.1", port(), error), 1);

  CSMTPMessage relayed = message("alice@example.test", "Subject: relayed\r\n\r\nno\r\n");
  relayed.m_arrRecipient = {"bob@example.test", "someone@elsewhere.test"};
  EXPECT_EQ(device.MailFunc_SendMailMessage(relayed, error), 0);
  EXPECT_EQ(error, 4899u);
  EXPECT_EQ(device.GetLastCommandResponseCode(), 554);

  const std::string content = "Subject: after the rejection\r\n\r\nyes\r\n";
  CSMTPMessage next = message("alice@example.test", content);
  next.m_Recipient1.m_sAddress = "bob@example.test";
  EXPECT_EQ(device.MailFunc_SendMailMessage(next, error), 1) << device.GetLastErrorDescription();
  EXPECT_EQ(device.Disconnect(), 1);

  const std::vector<std::string> messages = delivered("bob", 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("Subject: after the rejection\r\n"), std::string::npos);
}

// ---- TLS: STARTTLS required on port+1 (also on 127.0.0.3, which the certificate does not name),
// implicit TLS on port+2; the plain port offers no STARTTLS.

struct SmtpTlsCase {
  const char* name;
  const char* host;
  int portOffset;
  postwell::ConnectionSecurity mode;
  bool withCa;
  int pin;  // 0 none, 1 the server's fingerprint, 2 a wrong one
  unsigned long error;  // 0: logs in and delivers
  const char* failureHas;
};

class PostfixTls : public Postfix, public ::testing::WithParamInterface<SmtpTlsCase> {};

TEST_P(PostfixTls, DeliversOnlyOverAVerifiedConnection) {
  const SmtpTlsCase& c = GetParam();
  const std::string tls = std::string(std::getenv("MAILSIGNOFF_POSTFIX_DIR")) + "/tls/";
  postwell::TlsSettings settings;
  settings.mode = c.mode;
  if (c.withCa) settings.caFile = tls + "ca.pem";
  if (c.pin == 1) settings.pinnedSha256 = testsupport::readFile(tls + "server.sha256");
  if (c.pin == 2) settings.pinnedSha256 = std::string(64, 'A');
  while (!settings.pinnedSha256.empty() && settings.pinnedSha256.back() == '\n') settings.pinnedSha256.pop_back();

  TestDevice device;
  device.SetSecurity(settings);
  unsigned long error = 0;
  const int connected = device.MailFunc_ConnectESMTP(c.host, base64("alice").c_str(), base64("alice-secret").c_str(),
                                                     port() + c.portOffset, error);
  if (c.error != 0) {
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(error, c.error) << device.GetLastErrorDescription();
    EXPECT_NE(device.GetLastErrorDescription().find(c.failureHas), std::string::npos) << device.GetLastErrorDescription();
    // Nothing after the failed upgrade: the last reply is the EHLO's or STARTTLS's, never AUTH's.
    EXPECT_NE(device.GetLastCommandResponseCode(), 334);
    EXPECT_NE(device.GetLastCommandResponseCode(), 235);
    return;
  }
  ASSERT_EQ(connected, 1) << device.GetLastErrorDescription();
  EXPECT_EQ(device.GetLastCommandResponse(), "235 2.7.0 Authentication successful");
  const std::string content = std::string("From: alice@example.test\r\nTo: bob@example.test\r\nSubject: ") + c.name +
                              "\r\nMessage-ID: <tls@client.example.test>\r\nDate: Wed, 9 Dec 2026 10:00:00 +0000\r\n\r\n..dot\r\nbody\r\n";
  CSMTPMessage m = message("alice@example.test", content);
  m.m_Recipient1.m_sAddress = "bob@example.test";
  ASSERT_EQ(device.MailFunc_SendMailMessageEx(m, error), 1) << device.GetLastErrorDescription();
  EXPECT_EQ(device.Disconnect(), 1);
  const std::vector<std::string> messages = delivered("bob", 1);
  ASSERT_EQ(messages.size(), 1u);
  const std::string& text = messages[0];
  ASSERT_GT(text.size(), content.size());
  EXPECT_TRUE(text.compare(text.size() - content.size(), content.size(), content) == 0) << text;
  EXPECT_NE(text.find("with ESMTPSA"), std::string::npos) << text;
}

using postwell::ConnectionSecurity;
INSTANTIATE_TEST_SUITE_P(
    Cases, PostfixTls,
    ::testing::Values(
        SmtpTlsCase{"StartTls", "127.0.0.1", 1, ConnectionSecurity::StartTls, true, 0, 0, ""},
        SmtpTlsCase{"ImplicitTls", "localhost", 2, ConnectionSecurity::Tls, true, 0, 0, ""},
        SmtpTlsCase{"PinnedFingerprint", "127.0.0.1", 2, ConnectionSecurity::Tls, false, 1, 0, ""},
        SmtpTlsCase{"WrongName", "127.0.0.3", 1, ConnectionSecurity::StartTls, true, 0, 4953, "IP address mismatch"},
        SmtpTlsCase{"UntrustedCertificate", "127.0.0.1", 1, ConnectionSecurity::StartTls, false, 0, 4953,
                    "unable to get local issuer certificate"},
        SmtpTlsCase{"WrongPin", "127.0.0.1", 2, ConnectionSecurity::Tls, false, 2, 4953, "pinned fingerprint"},
        SmtpTlsCase{"StartTlsNotOffered", "127.0.0.1", 0, ConnectionSecurity::StartTls, true, 0, 4952,
                    "does not offer STARTTLS"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
