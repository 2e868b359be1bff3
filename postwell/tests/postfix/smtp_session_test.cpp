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
#include "platform/socket.h"
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

// A few lines of POP3: log in, and take every message out of the mailbox.
class Pop3Mailbox {
 public:
  Pop3Mailbox(const std::string& port, const std::string& user) {
    socket_ = platform::tcpSocket();
    connected_ = platform::connectTcp(socket_, "127.0.0.1", static_cast<std::uint16_t>(std::stoi(port))) &&
                 reply("\r\n").rfind("+OK", 0) == 0 && command("USER " + user).rfind("+OK", 0) == 0 &&
                 command("PASS " + user + "-secret").rfind("+OK", 0) == 0;
  }
  ~Pop3Mailbox() {
    if (connected_) command("QUIT");
    platform::closeSocket(socket_);
  }
  bool connected() const { return connected_; }

  // Each message as the server sent it (stuffed lines kept), deleted from the mailbox.
  std::vector<std::string> takeAll() {
    std::vector<std::string> messages;
    const int count = std::atoi(command("STAT").c_str() + 4);
    for (int n = 1; n <= count; ++n) {
      std::string text = command("RETR " + std::to_string(n), "\r\n.\r\n");
      text.erase(0, text.find("\r\n") + 2);
      text.resize(text.size() - 3);  // ".\r\n"
      messages.push_back(text);
      command("DELE " + std::to_string(n));
    }
    return messages;
  }

 private:
  std::string command(const std::string& line, const std::string& end = "\r\n") {
    const std::string sent = line + "\r\n";
    platform::sendAll(socket_, sent.data(), sent.size());
    return reply(end);
  }
  std::string reply(const std::string& end) {
    std::string text;
    char buffer[4096];
    while (text.size() < end.size() || text.compare(text.size() - end.size(), end.size(), end) != 0) {
      if (platform::waitReadable(socket_, 5000) != 1) break;
      const long n = platform::receiveSome(socket_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

  platform::SocketHandle socket_;
  bool connected_ = false;
};

class Postfix : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string missing;
    for (const char* peer : {"POSTFIX", "DOVECOT"}) {
      const char* dir = std::getenv((std::string("MAILSIGNOFF_") + peer + "_DIR").c_str());
      const char* port = std::getenv((std::string("MAILSIGNOFF_") + peer + "_PORT").c_str());
      if (dir == nullptr || port == nullptr)
        missing = std::string("MAILSIGNOFF_") + peer + "_DIR and _PORT are not set (run the test through ctest)";
      else if (!std::filesystem::exists(std::string(dir) + "/ready"))
        missing = std::string(peer) + " is not running: " + testsupport::readFile(std::string(dir) + "/unavailable");
      if (!missing.empty()) break;
      (std::string(peer) == "POSTFIX" ? smtpPort : pop3Port) = port;
    }
    if (!missing.empty()) {
      if (std::getenv("CI") != nullptr) FAIL() << missing;
      GTEST_SKIP() << missing;
    }
    // Each test finds only what it delivered.
    for (const char* user : {"bob", "boss"}) Pop3Mailbox(pop3Port, user).takeAll();
  }

  int port() const { return std::stoi(smtpPort); }

  // Waits for the messages delivered to the user (delivery takes a moment) and takes them.
  std::vector<std::string> delivered(const std::string& user, std::size_t expected) {
    std::vector<std::string> all;
    for (int attempt = 0; attempt < 100 && all.size() < expected; ++attempt) {
      Pop3Mailbox mailbox(pop3Port, user);
      EXPECT_TRUE(mailbox.connected());
      for (std::string& m : mailbox.takeAll()) all.push_back(std::move(m));
      if (all.size() < expected) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return all;
  }

  CSMTPMessage message(const std::string& from, const std::string& content) {
    CSMTPMessage m;
    m.m_From.m_sAddress = from;
    m.m_sContentFile = dir.file("message" + std::to_string(files++) + ".eml");
    testsupport::writeFile(m.m_sContentFile, content);
    return m;
  }

  std::string smtpPort, pop3Port;
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

}  // namespace
