// Mailboxes, passwords and message files under the stand-in's root.

#include <gtest/gtest.h>

#include "platform/files.h"
#include "sandbox_root.h"

namespace mailsandbox::test {
namespace {

TEST(Accounts, MailboxesAreFoundByAddressOrUniqueBareName) {
  SandboxRoot root({"boss@example.com", "ann@example.com", "ann@other.org"});
  EXPECT_TRUE(platform::isDirectory(root.path() + "/Users/example.com/boss"));

  std::optional<Mailbox> boss = root.accounts.find("BOSS@Example.COM");
  ASSERT_TRUE(boss);
  EXPECT_EQ(boss->address(), "boss@example.com");
  EXPECT_EQ(root.accounts.find("boss")->address(), "boss@example.com");
  EXPECT_FALSE(root.accounts.find("ann")) << "ann is a mailbox of two domains";
  EXPECT_EQ(root.accounts.find("ann@other.org")->address(), "ann@other.org");
  EXPECT_FALSE(root.accounts.find("nobody@example.com"));
  EXPECT_FALSE(root.accounts.find("boss@elsewhere.com"));
  EXPECT_TRUE(root.accounts.isLocalDomain("EXAMPLE.com"));
  EXPECT_FALSE(root.accounts.isLocalDomain("elsewhere.com"));
}

TEST(Accounts, PasswordIsTheFirstLineOfThePasswordFile) {
  SandboxRoot root({"boss@example.com"});
  Mailbox boss = *root.accounts.find("boss@example.com");
  EXPECT_TRUE(root.accounts.passwordMatches(boss, "boss-pw"));
  EXPECT_FALSE(root.accounts.passwordMatches(boss, "Boss-pw"));
  EXPECT_FALSE(root.accounts.passwordMatches(boss, "boss-pw\n"));
  EXPECT_FALSE(root.accounts.passwordMatches(boss, ""));

  std::string passwordFile = root.mailboxDirectory("boss@example.com") + "/password";
  testsupport::writeFile(passwordFile, "typed by hand\r\nsecond line\r\n");
  EXPECT_TRUE(root.accounts.passwordMatches(boss, "typed by hand"));
  testsupport::writeFile(passwordFile, "no line end");
  EXPECT_TRUE(root.accounts.passwordMatches(boss, "no line end"));
  platform::deleteFile(passwordFile);
  EXPECT_FALSE(root.accounts.passwordMatches(boss, "no line end"));
}

TEST(Accounts, AddingAnExistingMailboxSetsItsPasswordAndKeepsItsMessages) {
  SandboxRoot root({"boss@example.com"});
  ASSERT_TRUE(root.store.storeMessage(root.mailboxDirectory("boss@example.com"), "md5000000001", "x"));
  std::string error;
  ASSERT_TRUE(root.accounts.addMailbox("Boss@EXAMPLE.com", "new", error)) << error;
  Mailbox boss = *root.accounts.find("boss@example.com");
  EXPECT_EQ(boss.address(), "boss@example.com");
  EXPECT_TRUE(root.accounts.passwordMatches(boss, "new"));
  EXPECT_EQ(root.messagesOf("boss@example.com").size(), 1u);
}

TEST(Accounts, AddressesThatCannotNameAFolderAreRefused) {
  SandboxRoot root;
  for (const char* bad : {"noat", "@example.com", "boss@", "../boss@example.com", "boss@../x",
                          "a/b@example.com", "boss@exa mple.com", "boss@."}) {
    std::string error;
    EXPECT_FALSE(root.accounts.addMailbox(bad, "pw", error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  std::string error;
  EXPECT_FALSE(root.accounts.addMailbox("boss@example.com", "two\nlines", error));
  EXPECT_FALSE(platform::isDirectory(root.path() + "/Users/example.com/boss"));
}

TEST(MailStore, MessagesAreNeverOverwrittenAndListedInIdOrder) {
  SandboxRoot root({"boss@example.com"});
  std::string box = root.mailboxDirectory("boss@example.com");
  ASSERT_TRUE(root.store.storeMessage(box, "md5000000010", "ten"));
  ASSERT_TRUE(root.store.storeMessage(box, "md5000000002", "two"));
  EXPECT_FALSE(root.store.storeMessage(box, "md5000000002", "again"));
  testsupport::writeFile(box + "/leftover.msg.tmp", "half");
  testsupport::writeFile(box + "/notes.txt", "not mail");

  std::vector<StoredMessage> listed = root.store.listMessages(box);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].id, "md5000000002");
  EXPECT_EQ(listed[1].id, "md5000000010");
  EXPECT_EQ(testsupport::readFile(listed[0].path), "two");
  EXPECT_FALSE(platform::fileExists(box + "/md5000000002.msg.tmp"));
}

TEST(MailStore, QueueIdsKeepRisingAcrossRunsAndAboveStoredFiles) {
  SandboxRoot root({"boss@example.com"});
  EXPECT_EQ(root.store.nextQueueId(), "md5000000001");
  EXPECT_EQ(root.store.nextQueueId(), "md5000000002");
  EXPECT_EQ(MailStore(root.layout).nextQueueId(), "md5000000003");

  // The counter file is lost while files of earlier messages remain.
  platform::deleteFile(root.layout.stateFile());
  ASSERT_TRUE(root.store.storeMessage(root.mailboxDirectory("boss@example.com"), "md5000000041", "x"));
  EXPECT_EQ(MailStore(root.layout).nextQueueId(), "md5000000042");
}

TEST(MailStore, MailboxIsLockedForOneSessionAtATime) {
  SandboxRoot root;
  EXPECT_TRUE(root.store.tryLockMailbox("boss@example.com"));
  EXPECT_FALSE(root.store.tryLockMailbox("Boss@Example.com"));
  EXPECT_TRUE(root.store.tryLockMailbox("ann@example.com"));
  root.store.unlockMailbox("boss@example.com");
  EXPECT_TRUE(root.store.tryLockMailbox("boss@example.com"));
}

}  // namespace
}  // namespace mailsandbox::test
