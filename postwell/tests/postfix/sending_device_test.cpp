// The sending device against the private Postfix (scripts/peers/postfix.sh): a batch through one
// authenticated session, every message fetched back from Dovecot over POP3.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sync.h"
#include "postwell/device_owner.h"
#include "postwell/mail_device.h"
#include "postwell/mailbox_device.h"
#include "postfix_peer.h"
#include "temp_dir.h"

namespace {

// Counts each mission's end notices (states 2 and 3).
class Owner : public IDeviceOwner {
 public:
  long OnDeviceMessage(unsigned message, unsigned long, void* lParam) override {
    if (message != 1287) return 0;
    const auto* record = static_cast<CMailDevice_SendMailInfo*>(lParam);
    if (record->m_nState == 2 || record->m_nState == 3) {
      std::lock_guard<std::mutex> guard(mutex);
      ++ends[record];
    }
    return 0;
  }
  std::mutex mutex;
  std::map<const void*, int> ends;
};

class Device : public CMailDevice {
 public:
  bool waitIdle() { return m_evIdle->wait(60000); }
  void join() {
    if (m_hSendThread.joinable()) m_hSendThread.join();
  }
};

class PostfixSending : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!postfix::find(peers, why)) SKIP_OR_FAIL_WITHOUT_PEER(why);
    smtpPort = peers.smtpPort;
    for (const char* user : {"bob", "boss"}) peers.dovecot.clear(user);
  }

  std::vector<std::string> delivered(const std::string& user, std::size_t expected) {
    return postfix::delivered(peers, user, expected);
  }

  postfix::Peers peers;
  int smtpPort = 0;
  testsupport::TempDir dir;
};

TEST_F(PostfixSending, BatchToTwoMailboxesIsDeliveredByteForByte) {
  const std::string settings = dir.file("device.ini");
  testsupport::writeFile(settings,
                         "[Default]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" + std::to_string(smtpPort) +
                             "\nAUTHCHECK=Yes\nAUTHLOGINNAME=alice\nAUTHLOGINPASS=alice-secret\n"
                             "MODIMAILERFROMBY=alice@example.test\nTIMEOUT=30\n");
  constexpr int kMissions = 50;
  std::vector<std::unique_ptr<CMailDevice_SendMailInfo>> missions;
  std::map<std::string, std::string> contents;  // Message-ID -> content
  for (int i = 0; i < kMissions; ++i) {
    const std::string to = i % 2 == 0 ? "bob@example.test" : "boss@example.test";
    const std::string id = "<batch-" + std::to_string(i) + "@client.example.test>";
    std::string content = "From: clerk" + std::to_string(i) + "@example.test\r\nTo: " + to +
                          "\r\nSubject: batch " + std::to_string(i) + "\r\nMessage-ID: " + id +
                          "\r\nDate: Wed, 9 Dec 2026 10:00:00 +0000\r\n\r\n..dotted first line\r\n";
    for (int line = 0; line < 20 * i; ++line)
      content += "Line " + std::to_string(line) + " of mission " + std::to_string(i) + "\r\n";
    const std::string file = dir.file("m" + std::to_string(i) + ".eml");
    testsupport::writeFile(file, content);
    contents[id] = content;
    auto mission = std::make_unique<CMailDevice_SendMailInfo>();
    std::strcpy(mission->m_szMailFrom, ("clerk" + std::to_string(i) + "@example.test").c_str());
    std::strcpy(mission->m_szRcptTo, to.c_str());
    std::strcpy(mission->m_szDataFile, file.c_str());
    missions.push_back(std::move(mission));
  }

  Owner owner;
  Device device;
  unsigned long error = 0;
  device.InitializeDevice(settings.c_str(), "Sender", &owner, error);
  device.StartDevice();
  ASSERT_EQ(device.OccupyDevice(), 1);
  for (auto& m : missions) device.AddSendMissionToQueue(m.get());
  ASSERT_EQ(device.StartUpSendProcess(error), 1);
  ASSERT_TRUE(device.waitIdle());
  device.join();

  for (auto& m : missions) {
    EXPECT_EQ(m->m_nState, 3) << m->m_szRcptTo << ": " << m->m_sError;
    EXPECT_EQ(owner.ends[m.get()], 1);
  }
  std::size_t found = 0;
  for (const char* user : {"bob", "boss"}) {
    const std::vector<std::string> messages = delivered(user, kMissions / 2);
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(kMissions / 2)) << user;
    for (const std::string& text : messages) {
      // The replacement sender is the envelope sender of every message.
      EXPECT_EQ(text.rfind("Return-Path: <alice@example.test>\r\n", 0), 0u);
      const std::size_t at = text.find("Message-ID: ");
      ASSERT_NE(at, std::string::npos);
      const std::string id = text.substr(at + 12, text.find("\r\n", at) - at - 12);
      ASSERT_EQ(contents.count(id), 1u) << id;
      const std::string& content = contents[id];
      ASSERT_GT(text.size(), content.size());
      EXPECT_EQ(text.substr(text.size() - content.size()), content) << id;
      EXPECT_NE(text.find(std::string("To: ") + user + "@example.test"), std::string::npos) << id;
      ++found;
    }
  }
  EXPECT_EQ(found, static_cast<std::size_t>(kMissions));
}

}  // namespace
