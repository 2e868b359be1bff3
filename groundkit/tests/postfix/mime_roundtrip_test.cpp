// A composed message sent through the private Postfix, fetched back from
// Dovecot over POP3 and taken apart again, by the plug-in and by the walker:
// the same parts come out.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dovecot_peer.h"
#include "groundkit/groundkit.h"
#include "postfix_peer.h"
#include "postwell/mail_device.h"
#include "postwell/mailbox_device.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string base64Line(const std::string& text) {
  std::vector<char> out(BSCFEM_Base64BufferSize(text.size()));
  unsigned long length = 0;
  BSCFEM_EncodeBase64(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out.data(),
                      out.size(), length);
  std::string encoded(out.data(), length);
  while (!encoded.empty() && (encoded.back() == '\r' || encoded.back() == '\n')) encoded.pop_back();
  return encoded;
}

std::string binary(std::size_t size) {
  std::string bytes(size, '\0');
  unsigned value = 99;
  for (char& c : bytes) {
    value = value * 1103515245u + 12345u;
    c = static_cast<char>(value >> 16);
  }
  return bytes;
}

class PostfixRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    postfix::Peers peers;
    if (!postfix::find(peers, why)) SKIP_OR_FAIL_WITHOUT_PEER(why);
    smtpPort = peers.smtpPort;
    dovecotPeer = peers.dovecot;
    dovecotPeer.clear("bob");
  }

  // Waits for the one message delivered to bob and saves it as the POP3 session
  // received it.
  bool fetchInto(const std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      CMailBoxDevice mailbox;
      unsigned long error = 0;
      if (mailbox.Connect("127.0.0.1", "bob", "bob-secret", error, dovecotPeer.port()) != 1)
        return false;
      int count = 0, size = 0;
      mailbox.Statistics(count, size, error);
      if (count > 0) {
        CPop3Message message;
        bool saved = mailbox.Retrieve(1, message, error) == 1 &&
                     message.SaveToDisk(path.c_str(), error) == 1;
        mailbox.Delete(1, error);
        mailbox.Disconnect();
        return saved;
      }
      mailbox.Disconnect();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  dovecot::Peer dovecotPeer;
  int smtpPort = 0;
  testsupport::TempDir dir;
};

TEST_F(PostfixRoundTrip, ComposedMessageComesBackWithTheSameParts) {
  const std::string body = "请签收附件。\r\nPlease find the files attached.\r\n";
  const std::string big = binary(1024 * 1024 + 7);
  const std::string small = "plain \"quoted\" attachment\n";
  fs::create_directory(dir.file("in"));
  testsupport::writeFile(dir.file("in/data.bin"), big);
  testsupport::writeFile(dir.file("in/季度 报告.txt"), small);
  unsigned long error = 0;
  ASSERT_EQ(
      BSCFEM_EncodeEmailMission(dir.file("out.eml").c_str(), "alice@example.test",
                                {"bob@example.test"}, "round trip", body.c_str(),
                                {dir.file("in/data.bin"), dir.file("in/季度 报告.txt")}, error),
      1)
      << error;

  CMailDevice device;
  ASSERT_EQ(device.MailFunc_ConnectESMTP("127.0.0.1", base64Line("alice").c_str(),
                                         base64Line("alice-secret").c_str(), smtpPort, error),
            1)
      << device.GetLastErrorDescription();
  CSMTPMessage message;
  message.m_From.m_sAddress = "alice@example.test";
  message.m_Recipient1.m_sAddress = "bob@example.test";
  message.m_sContentFile = dir.file("out.eml");
  ASSERT_EQ(device.MailFunc_SendMailMessage(message, error), 1) << device.GetLastErrorDescription();
  device.Disconnect();

  ASSERT_TRUE(fetchInto(dir.file("fetched.eml")));
  const std::multiset<std::string> expected{body, big, small};
  for (const char* way : {"plugin", "walker"}) {
    std::string out = dir.file(way);
    fs::create_directory(out);
    std::vector<std::string> files;
    int result =
        std::string(way) == "plugin"
            ? BSCFEM_D_GetAttachFileFromEmail(dir.file("fetched.eml").c_str(), out.c_str(), files,
                                              error)
            : BSCFEM_D_WalkMimeMessage(dir.file("fetched.eml").c_str(), out.c_str(), files, error);
    ASSERT_EQ(result, 1) << way << " " << error;
    std::multiset<std::string> contents;
    for (const std::string& file : files) contents.insert(testsupport::readFile(file));
    EXPECT_TRUE(contents == expected) << way;
    EXPECT_TRUE(fs::exists(out + "/data.bin")) << way;
    EXPECT_EQ(testsupport::readFile(out + "/季度 报告.txt"), small) << way;
  }
}

}  // namespace
