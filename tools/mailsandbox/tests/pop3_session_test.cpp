// The POP3 session, line by line, with its exact replies.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/files.h"
#include "pop3_session.h"
#include "sandbox_root.h"

namespace mailsandbox::test {
namespace {

// 41 octets; a line that begins with a dot is byte-stuffed on the way out.
const std::string kFirst = "Subject: one\r\n\r\n.dot line\r\nbody\r\n.\r\nend\r\n";
// Bare line feeds and no line end at the end: sent with CR LF, 28 octets.
const std::string kSecond = "Subject: two\n\nb1\nb2\nb3";

class Pop3SessionTest : public testing::Test {
 protected:
  Pop3SessionTest() : root({"boss@example.com", "ann@example.com"}) {
    box = root.mailboxDirectory("boss@example.com");
    EXPECT_TRUE(root.store.storeMessage(box, "md5000000001", kFirst));
    EXPECT_TRUE(root.store.storeMessage(box, "md5000000002", kSecond));
    session = newSession();
  }

  std::unique_ptr<Pop3Session> newSession() {
    return std::make_unique<Pop3Session>(root.accounts, root.store,
                                         [this](std::string_view text) { events.emplace_back(text); });
  }
  std::string say(const std::string& line) { return session->onLine(line + "\r\n"); }
  void logIn() {
    ASSERT_EQ(say("USER boss"), "+OK send PASS\r\n");
    ASSERT_EQ(say("PASS boss-pw"), "+OK boss@example.com has 2 messages (69 octets)\r\n");
  }

  SandboxRoot root;
  std::string box;
  std::vector<std::string> events;
  std::unique_ptr<Pop3Session> session;
};

TEST_F(Pop3SessionTest, LoginAndListings) {
  EXPECT_EQ(session->greeting(), "+OK mailsandbox POP3 test stand-in for the mail server ready\r\n");
  EXPECT_EQ(say("CAPA"), "+OK capability list follows\r\nUSER\r\nTOP\r\nUIDL\r\n.\r\n");
  EXPECT_EQ(say("STAT"), "-ERR log in first\r\n");
  EXPECT_EQ(say("PASS boss-pw"), "-ERR send USER first\r\n");
  EXPECT_EQ(say("USER boss"), "+OK send PASS\r\n");
  EXPECT_EQ(say("PASS wrong"), "-ERR [AUTH] invalid user name or password\r\n");
  EXPECT_EQ(say("PASS boss-pw"), "-ERR send USER first\r\n");
  EXPECT_EQ(say("user boss@EXAMPLE.com"), "+OK send PASS\r\n");
  EXPECT_EQ(say("pass boss-pw"), "+OK boss@example.com has 2 messages (69 octets)\r\n");

  EXPECT_EQ(say("STAT"), "+OK 2 69\r\n");
  EXPECT_EQ(say("LIST"), "+OK 2 messages (69 octets)\r\n1 41\r\n2 28\r\n.\r\n");
  EXPECT_EQ(say("LIST 2"), "+OK 2 28\r\n");
  EXPECT_EQ(say("LIST 3"), "-ERR no such message\r\n");
  EXPECT_EQ(say("LIST x"), "-ERR no such message\r\n");
  EXPECT_EQ(say("UIDL"), "+OK unique-id listing follows\r\n1 md5000000001\r\n2 md5000000002\r\n.\r\n");
  EXPECT_EQ(say("UIDL 1"), "+OK 1 md5000000001\r\n");
  EXPECT_EQ(say("USER ann"), "-ERR already logged in\r\n");
  EXPECT_EQ(say("NOOP"), "+OK\r\n");
  EXPECT_EQ(say("XTND"), "-ERR unknown command\r\n");
}

TEST_F(Pop3SessionTest, RetrieveAndTopStuffDotsAndEndLinesWithCrLf) {
  logIn();
  EXPECT_EQ(say("RETR 1"), "+OK 41 octets\r\nSubject: one\r\n\r\n..dot line\r\nbody\r\n..\r\nend\r\n.\r\n");
  EXPECT_EQ(say("RETR 2"), "+OK 28 octets\r\nSubject: two\r\n\r\nb1\r\nb2\r\nb3\r\n.\r\n");
  EXPECT_EQ(say("TOP 1 0"), "+OK\r\nSubject: one\r\n\r\n.\r\n");
  EXPECT_EQ(say("TOP 1 2"), "+OK\r\nSubject: one\r\n\r\n..dot line\r\nbody\r\n.\r\n");
  EXPECT_EQ(say("TOP 2 10"), "+OK\r\nSubject: two\r\n\r\nb1\r\nb2\r\nb3\r\n.\r\n");
  EXPECT_EQ(say("TOP 1"), "-ERR syntax: TOP message lines\r\n");
  EXPECT_EQ(say("TOP 1 -1"), "-ERR syntax: TOP message lines\r\n");
  EXPECT_EQ(say("RETR 0"), "-ERR no such message\r\n");
  EXPECT_EQ(events.back(), "RETR 2 (md5000000002)");
}

TEST_F(Pop3SessionTest, DeletionsTakeEffectAtQuitOnly) {
  logIn();
  EXPECT_EQ(say("DELE 1"), "+OK message 1 deleted\r\n");
  EXPECT_EQ(say("DELE 1"), "-ERR no such message\r\n");
  EXPECT_EQ(say("RETR 1"), "-ERR no such message\r\n");
  EXPECT_EQ(say("STAT"), "+OK 1 28\r\n");
  EXPECT_EQ(say("LIST"), "+OK 1 messages (28 octets)\r\n2 28\r\n.\r\n");
  EXPECT_EQ(say("RSET"), "+OK 2 messages (69 octets)\r\n");
  EXPECT_EQ(say("DELE 2"), "+OK message 2 deleted\r\n");
  EXPECT_TRUE(platform::fileExists(box + "/md5000000002.msg"));

  // A connection that ends without QUIT removes nothing.
  session = newSession();
  logIn();
  EXPECT_EQ(say("DELE 2"), "+OK message 2 deleted\r\n");
  EXPECT_EQ(say("QUIT"), "+OK mailsandbox signing off (1 messages deleted)\r\n");
  EXPECT_TRUE(session->finished());
  EXPECT_FALSE(platform::fileExists(box + "/md5000000002.msg"));
  EXPECT_TRUE(platform::fileExists(box + "/md5000000001.msg"));
}

TEST_F(Pop3SessionTest, MailboxBelongsToOneSessionAndShowsWhatWasThereAtLogin) {
  logIn();
  std::unique_ptr<Pop3Session> second = newSession();
  EXPECT_EQ(second->onLine("USER boss@example.com\r\n"), "+OK send PASS\r\n");
  EXPECT_EQ(second->onLine("PASS boss-pw\r\n"), "-ERR [IN-USE] mailbox in use by another session\r\n");

  ASSERT_TRUE(root.store.storeMessage(box, "md5000000003", "Subject: three\r\n\r\n"));
  EXPECT_EQ(say("STAT"), "+OK 2 69\r\n");
  EXPECT_EQ(say("QUIT"), "+OK mailsandbox signing off (0 messages deleted)\r\n");

  EXPECT_EQ(second->onLine("USER boss\r\n"), "+OK send PASS\r\n");
  EXPECT_EQ(second->onLine("PASS boss-pw\r\n"), "+OK boss@example.com has 3 messages (87 octets)\r\n");
  second.reset();  // dropped without QUIT: the mailbox is free again
  session = newSession();
  EXPECT_EQ(say("USER boss"), "+OK send PASS\r\n");
  EXPECT_EQ(say("PASS boss-pw"), "+OK boss@example.com has 3 messages (87 octets)\r\n");
}

TEST_F(Pop3SessionTest, MessagesThatChangedBehindTheSession) {
  logIn();
  // Message 1 is gone: it cannot be sent, and deleting it succeeds. Message 2 became something
  // that cannot be read or deleted.
  ASSERT_TRUE(platform::deleteFile(box + "/md5000000001.msg"));
  ASSERT_TRUE(platform::deleteFile(box + "/md5000000002.msg"));
  ASSERT_TRUE(platform::createDirectory(box + "/md5000000002.msg"));
  EXPECT_EQ(say("RETR 1"), "-ERR message is no longer available\r\n");
  EXPECT_EQ(say("RETR 2"), "-ERR message is no longer available\r\n");
  EXPECT_EQ(say("DELE 1"), "+OK message 1 deleted\r\n");
  EXPECT_EQ(say("DELE 2"), "+OK message 2 deleted\r\n");
  EXPECT_EQ(say("QUIT"), "-ERR 1 deleted messages not removed\r\n");
}

}  // namespace
}  // namespace mailsandbox::test
