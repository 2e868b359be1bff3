#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dovecot_peer.h"
#include "platform/last_error.h"
#include "postwell/mailbox_device.h"

namespace {

using ::testing::Contains;
using ::testing::MatchesRegex;

class StatusLog : public IDeviceOwner {
 public:
  long OnDeviceMessage(unsigned, unsigned long, void* device) override {
    statuses.emplace_back(static_cast<CMailBoxDevice*>(device)->GetDeviceStatus());
    return 0;
  }
  std::vector<std::string> statuses;
};

// A mailbox device logged in to alice's mailbox.
class Mailbox {
 public:
  explicit Mailbox(int port, const char* password = "alice-secret") {
    unsigned long unused = 0;
    device.InitializeDevice("", "dovecot", &log, unused);
    connected = device.Connect("127.0.0.1", "alice", password, error, port);
  }
  int count() {
    int messages = -1, size = -1;
    return device.Statistics(messages, size, error) ? messages : -1;
  }

  StatusLog log;
  CMailBoxDevice device;
  unsigned long error = 0;
  int connected = 0;
};

std::string bigMessage() {
  std::string text = "From: bob@example.test\nTo: alice@example.test\nSubject: big\n\n";
  for (int line = 0; text.size() < 1100 * 1024; ++line)
    text += "line " + std::to_string(line) + " " + std::string(90, 'b') + "\n";
  return text;
}

const std::string kSmall = "From: bob@example.test\nTo: alice@example.test\nSubject: small\n\nhello\n";
const std::string kDotsAnd8Bit =
    "From: =?utf-8?B?5byg5LiJ?= <zhang@example.test>\n"
    "To: alice@example.test\n"
    "Subject: Grüße 审核\n"
    "X-Note: \xff\xfe raw bytes\n"
    "\n"
    ".leading dot\n"
    "..two dots\n"
    ".\n"
    "end\n";

using Pop3 = dovecot::Test;

TEST_F(Pop3, RetrievesListsAndDeletesAWholeMailbox) {
  const std::map<std::string, std::string> seeded = {
      {"small", kSmall}, {"big", bigMessage()}, {"Grüße 审核", kDotsAnd8Bit}};
  for (const auto& [subject, text] : seeded) peer.deliver("alice", text);
  std::size_t total = 0;
  for (const auto& entry : seeded) total += dovecot::withCrLf(entry.second).size();

  {
    Mailbox box(peer.port());
    ASSERT_EQ(box.connected, 1) << box.device.GetLastCommandResponse();
    EXPECT_EQ(box.log.statuses.front(), "<- +OK Dovecot (Debian) ready.");
    int count = 0, size = 0;
    ASSERT_EQ(box.device.Statistics(count, size, box.error), 1);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(static_cast<std::size_t>(size), total);

    for (int n = 1; n <= 3; ++n) {
      std::string id;
      ASSERT_EQ(box.device.GetMessageID(n, id), 1);
      EXPECT_THAT(id, MatchesRegex(std::to_string(n) + " [0-9a-fA-F]{16}"));

      CPop3Message message;
      ASSERT_EQ(box.device.Retrieve(n, message, box.error), 1) << box.device.GetLastCommandResponse();
      const std::string subject = message.GetSubject();
      ASSERT_EQ(seeded.count(subject), 1u) << subject;
      const std::string& text = seeded.at(subject);
      EXPECT_EQ(message.GetMessageText(), dovecot::asRetrieved(text)) << subject;
      unsigned long listed = 0;
      ASSERT_EQ(box.device.GetMessageSize(n, listed), 1);
      EXPECT_EQ(listed, dovecot::withCrLf(text).size());

      CPop3Message head;
      ASSERT_EQ(box.device.GetMessageHeader(n, head, box.error), 1);
      EXPECT_EQ(head.GetHeader(), message.GetHeader());
      if (subject == "big") {
        const std::string body = head.GetBody();
        EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 10);
      }
      if (subject != "small" && subject != "big") {
        EXPECT_EQ(message.GetFrom(), "张三 <zhang@example.test>");
        EXPECT_EQ(message.GetHeaderItem("X-Note", 0), "\xff\xfe raw bytes");
      }
    }
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(box.device.Delete(n, box.error), 1);
    EXPECT_EQ(box.device.Disconnect(), 1);
    EXPECT_EQ(box.device.GetLastCommandResponse(), "+OK Logging out, messages deleted.");
  }

  Mailbox again(peer.port());
  ASSERT_EQ(again.connected, 1);
  EXPECT_EQ(again.count(), 0);
}

TEST_F(Pop3, WrongPasswordFailsWith4946AndDovecotsReply) {
  Mailbox box(peer.port(), "wrong-secret");
  EXPECT_EQ(box.connected, 0);
  EXPECT_EQ(box.error, 4946u);
  EXPECT_THAT(box.log.statuses, Contains("<- -ERR [AUTH] Authentication failed."));
  EXPECT_EQ(box.log.statuses.back(), "-> QUIT\r\n");
}

TEST_F(Pop3, DeletedMessagesAreGoneOnTheNextLoginAndResetKeepsThem) {
  peer.deliver("alice", "Subject: first\n\none\n");
  peer.deliver("alice", "Subject: second\n\ntwo\n");
  std::string deleted;
  {
    Mailbox box(peer.port());
    ASSERT_EQ(box.connected, 1);
    CPop3Message message;
    ASSERT_EQ(box.device.Retrieve(1, message, box.error), 1);
    deleted = message.GetSubject();
    ASSERT_EQ(box.device.Delete(1, box.error), 1);
    EXPECT_EQ(box.device.Disconnect(), 1);
  }
  {
    Mailbox box(peer.port());
    ASSERT_EQ(box.connected, 1);
    ASSERT_EQ(box.count(), 1);
    CPop3Message message;
    ASSERT_EQ(box.device.Retrieve(1, message, box.error), 1);
    EXPECT_NE(message.GetSubject(), deleted);
    ASSERT_EQ(box.device.Delete(1, box.error), 1);
    EXPECT_EQ(box.device.Reset(), 1);
    EXPECT_EQ(box.device.Noop(), 1);
    EXPECT_EQ(box.device.Disconnect(), 1);
  }
  Mailbox box(peer.port());
  ASSERT_EQ(box.connected, 1);
  EXPECT_EQ(box.count(), 1);
}

TEST_F(Pop3, MessageOverTheSizeLimitIsSkippedAndTheSessionGoesOn) {
  peer.deliver("alice", bigMessage());
  peer.deliver("alice", kSmall);
  Mailbox box(peer.port());
  ASSERT_EQ(box.connected, 1);
  box.device.SetMessageSizeLimit(1024 * 1024);
  CPop3Message message;
  EXPECT_EQ(box.device.Retrieve(1, message, box.error), 0);
  EXPECT_EQ(platform::lastError(), 10040u);
  EXPECT_EQ(message.GetMessageText(), nullptr);
  ASSERT_EQ(box.device.Retrieve(2, message, box.error), 1) << box.device.GetLastCommandResponse();
  EXPECT_EQ(message.GetSubject(), "small");
  EXPECT_EQ(box.device.Noop(), 1);
  EXPECT_EQ(box.device.Disconnect(), 1);
}

}  // namespace
