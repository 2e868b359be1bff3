// What a POP3 session takes from its caller and its server: values with line breaks are refused
// before anything is sent; replies are bounded in size, in entries and in time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include "platform/last_error.h"
#include "pop3_session.h"
#include "scripted_server.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                          void (*)(const volatile void*));
#endif

namespace {

#if defined(__SANITIZE_ADDRESS__)
std::atomic<bool> recording{false};
std::atomic<std::size_t> largest{0};

void noteAllocation(const volatile void*, std::size_t size) {
  if (!recording) return;
  std::size_t seen = largest;
  while (size > seen && !largest.compare_exchange_weak(seen, size)) {
  }
}
void noteRelease(const volatile void*) {}

// The largest single allocation while the work runs (the scripted server's small ones included).
std::size_t largestAllocationDuring(const std::function<void()>& work) {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteRelease) != 0;
  EXPECT_TRUE(installed);
  largest = 0;
  recording = true;
  work();
  recording = false;
  return largest;
}
#endif

using testsupport::Script;
using testsupport::ScriptedServer;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class Pop3Limits : public ::testing::Test {
 protected:
  int connect(const char* user = "alice", const char* password = "secret") {
    if (!started) server.start();
    started = true;
    return session.Connect("127.0.0.1", user, password, error, server.port());
  }
  // Ends the connection from this side first: a server still sending a reply that the session
  // gave up on only stops when the connection goes.
  void TearDown() override {
    session.Disconnect();
    server.stop();
  }

  ScriptedServer server;
  RecordingPop3Session session;
  unsigned long error = 0;
  bool started = false;
};

// ---- Values that would end their command line ------------------------------------------------

struct RefusedLogin {
  const char* name;
  std::string user;
  std::string password;
};

class Pop3RefusedLogin : public Pop3Limits, public ::testing::WithParamInterface<RefusedLogin> {};

TEST_P(Pop3RefusedLogin, IsRefusedBeforeConnectingAndTheNextLoginWorks) {
  greetAndLogIn(server.connection()).expect("NOOP").send("+OK\r\n").expect("QUIT").send("+OK\r\n");
  EXPECT_EQ(connect(GetParam().user.c_str(), GetParam().password.c_str()), 0);
  EXPECT_EQ(error, 10022u);
  EXPECT_EQ(platform::lastError(), 10022u);
  EXPECT_THAT(session.GetLastCommandResponse(), HasSubstr("CR, LF or NUL"));
  EXPECT_EQ(server.accepted(), 0);

  ASSERT_EQ(connect(), 1) << session.GetLastCommandResponse();
  EXPECT_EQ(session.Noop(), 1);
  EXPECT_EQ(session.Disconnect(), 1);
  ASSERT_TRUE(server.waitDone());
  EXPECT_THAT(server.mismatches(), IsEmpty());
  EXPECT_EQ(server.received(), "USER alice\r\nPASS secret\r\nNOOP\r\nQUIT\r\n");
}

INSTANTIATE_TEST_SUITE_P(Values, Pop3RefusedLogin,
                         ::testing::Values(RefusedLogin{"UserWithCrLf", "alice\r\nDELE 1", "secret"},
                                           RefusedLogin{"UserWithLf", "alice\nDELE 1", "secret"},
                                           RefusedLogin{"UserWithCr", "alice\r", "secret"},
                                           RefusedLogin{"PasswordWithCrLf", "alice", "secret\r\nDELE 1"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Replies that do not end --------------------------------------------------------------------

TEST_F(Pop3Limits, LineReplyLongerThanAMegabyteFailsWith10040) {
  greetAndLogIn(server.connection()).expect("NOOP").send("+OK " + std::string(10 * 1024 * 1024, 'x') + "\r\n");
  ASSERT_EQ(connect(), 1);
  EXPECT_EQ(session.Noop(), 0);
  EXPECT_EQ(platform::lastError(), 10040u);
  EXPECT_THAT(session.GetLastCommandResponse(), HasSubstr("longer than 1048576 bytes"));
}

TEST_F(Pop3Limits, ListThatNeverEndsFailsWith10040) {
  std::string endless = "+OK\r\n";
  endless.reserve(33 * 1024 * 1024 + 4096);
  std::string lines;
  for (int n = 0; n < 512; ++n) lines += "1 100\r\n";
  while (endless.size() <= 33 * 1024 * 1024) endless += lines;
  greetAndLogIn(server.connection()).expect("STAT").send("+OK 1 100\r\n").expect("LIST").send(endless);
  ASSERT_EQ(connect(), 1);
  EXPECT_EQ(session.List(), 0);
  EXPECT_EQ(platform::lastError(), 10040u);
}

struct ListCase {
  const char* command;
  const char* entry;
};

class Pop3TooManyEntries : public Pop3Limits, public ::testing::WithParamInterface<ListCase> {};

TEST_P(Pop3TooManyEntries, FailWith10040AndLeaveTheListEmpty) {
  std::string reply = "+OK\r\n";
  for (int n = 0; n <= 1000000; ++n) reply += GetParam().entry;
  greetAndLogIn(server.connection()).expect("STAT").send("+OK 1 5\r\n").expect(GetParam().command).send(reply + ".\r\n");
  ASSERT_EQ(connect(), 1);
  const bool list = std::string(GetParam().command) == "LIST";
  EXPECT_EQ(list ? session.List() : session.UIDL(), 0);
  EXPECT_EQ(platform::lastError(), 10040u);
  EXPECT_THAT(session.GetLastCommandResponse(), HasSubstr("more than 1000000 entries"));
  EXPECT_THAT(session.m_arrMessageSize, IsEmpty());
  EXPECT_THAT(session.m_arrMessageID, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Lists, Pop3TooManyEntries,
                         ::testing::Values(ListCase{"LIST", "1 5\r\n"}, ListCase{"UIDL", "1 a\r\n"}),
                         [](const auto& info) { return std::string(info.param.command); });

// The count and sizes a server claims size nothing larger than a megabyte: what it sends does.
TEST_F(Pop3Limits, ClaimedCountsAndSizesAreNoSizeForAnything) {
#if !defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "allocations are seen through the address sanitizer's hooks";
#else
  greetAndLogIn(server.connection())
      .expect("STAT").send("+OK 2147483647 5\r\n")
      .expect("LIST").send("+OK\r\n1 60000000\r\n.\r\n")
      .expect("UIDL").send("+OK\r\n1 abc\r\n.\r\n")
      .expect("RETR 1").send("+OK\r\nSubject: small after all\r\n\r\nx\r\n.\r\n")
      .expect("QUIT").send("+OK\r\n");
  ASSERT_EQ(connect(), 1);
  const std::size_t mostForLists = largestAllocationDuring([&] {
    ASSERT_EQ(session.List(), 1);
    ASSERT_EQ(session.UIDL(), 1);
  });
  EXPECT_LE(mostForLists, 1024u * 1024);
  EXPECT_THAT(session.m_arrMessageSize, ::testing::ElementsAre(60000000u));
  EXPECT_THAT(session.m_arrMessageID, ::testing::ElementsAre("1 abc"));

  CPop3Message message;
  const std::size_t mostForMessage =
      largestAllocationDuring([&] { ASSERT_EQ(session.Retrieve(1, message, error), 1); });
  EXPECT_LE(mostForMessage, 1024u * 1024);
  EXPECT_EQ(message.GetSubject(), "small after all");
#endif
}

// ---- The message size limit ---------------------------------------------------------------------

TEST_F(Pop3Limits, MessageSizeLimitDefaultsTo64MiBAndIsCapped) {
  EXPECT_EQ(session.GetMessageSizeLimit(), 64ul * 1024 * 1024);
  session.SetMessageSizeLimit(~0ul);
  EXPECT_EQ(session.GetMessageSizeLimit(), 1024ul * 1024 * 1024);
}

TEST_F(Pop3Limits, MessageListedLargerThanTheLimitIsNotAskedFor) {
  greetAndLogIn(server.connection())
      .expect("STAT").send("+OK 2 6000\r\n")
      .expect("LIST").send("+OK\r\n1 5000\r\n2 1000\r\n.\r\n")
      .expect("RETR 2").send("+OK\r\nSubject: small\r\n\r\nx\r\n.\r\n")
      .expect("QUIT").send("+OK\r\n");
  session.SetMessageSizeLimit(1000);
  ASSERT_EQ(connect(), 1);
  CPop3Message message;
  EXPECT_EQ(session.Retrieve(1, message, error), 0);
  EXPECT_EQ(platform::lastError(), 10040u);
  EXPECT_THAT(session.GetLastCommandResponse(), HasSubstr("larger than the limit of 1000 bytes"));
  // Nothing was left unread: the session goes on.
  ASSERT_EQ(session.Retrieve(2, message, error), 1);
  EXPECT_EQ(message.GetSubject(), "small");
  EXPECT_EQ(session.Disconnect(), 1);
  ASSERT_TRUE(server.waitDone());
  EXPECT_THAT(server.mismatches(), IsEmpty());
}

struct SizeCase {
  const char* name;
  long limitLessText;  // the limit minus the length of the message text
  int result;
};

class Pop3MessageLimit : public Pop3Limits, public ::testing::WithParamInterface<SizeCase> {};

// The server lists the message as small and sends it large.
TEST_P(Pop3MessageLimit, HoldsForWhatArrivesWhateverWasListed) {
  std::string text = "Subject: big\r\n\r\n";
  while (text.size() < 300000) text += "a line of the body that the server sends after all\r\n";
  const unsigned long limit = static_cast<unsigned long>(static_cast<long>(text.size()) + GetParam().limitLessText);
  greetAndLogIn(server.connection())
      .expect("STAT").send("+OK 1 10\r\n")
      .expect("LIST").send("+OK\r\n1 10\r\n.\r\n")
      .expect("RETR 1").sendInPieces("+OK\r\n" + text + ".\r\n", 65536, 1)
      .expect("TOP 1 10").sendInPieces("+OK\r\n" + text + ".\r\n", 65536, 1)
      .expect("QUIT").send("+OK\r\n");
  session.SetMessageSizeLimit(limit);
  ASSERT_EQ(connect(), 1);
  CPop3Message retrieved, head;
  EXPECT_EQ(session.Retrieve(1, retrieved, error), GetParam().result);
  if (GetParam().result == 1) {
    EXPECT_EQ(retrieved.GetMessageText(), text);
    EXPECT_EQ(session.GetMessageHeader(1, head, error), 1);
    EXPECT_EQ(head.GetMessageText(), text);
  } else {
    EXPECT_EQ(platform::lastError(), 10040u);
    EXPECT_EQ(retrieved.GetMessageText(), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Limits, Pop3MessageLimit,
                         ::testing::Values(SizeCase{"Exactly", 0, 1}, SizeCase{"OneByteShort", -1, 0},
                                           SizeCase{"FarShort", -250000, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Deadlines ------------------------------------------------------------------------------------

TEST_F(Pop3Limits, ReplyTrickledByteByByteFailsWith10060) {
  // Never idle for the timeout, but the whole line would take three seconds.
  greetAndLogIn(server.connection()).expect("NOOP").sendInPieces("+OK " + std::string(150, 'x') + "\r\n", 1, 20);
  session.SetTimeout(150);
  ASSERT_EQ(connect(), 1);
  EXPECT_EQ(session.Noop(), 0);
  EXPECT_EQ(platform::lastError(), 10060u);
  EXPECT_THAT(session.GetLastCommandResponse(), ::testing::StartsWith("+OK x"));
  EXPECT_LT(session.GetLastCommandResponse().size(), 100u);
}

// A message that takes many timeouts to arrive, but arrives steadily, is taken.
TEST_F(Pop3Limits, SlowSteadyMessageOutlastsTheTimeout) {
  std::string text = "Subject: slow\r\n\r\n";
  while (text.size() < 400000) text += "a line of a message on a slow line\r\n";
  greetAndLogIn(server.connection())
      .expect("STAT").send("+OK 1 400000\r\n")
      .expect("LIST").send("+OK\r\n1 400000\r\n.\r\n")
      .expect("RETR 1").sendInPieces("+OK\r\n" + text + ".\r\n", 8192, 20)
      .expect("QUIT").send("+OK\r\n");
  session.SetTimeout(200);
  ASSERT_EQ(connect(), 1);
  CPop3Message retrieved;
  ASSERT_EQ(session.Retrieve(1, retrieved, error), 1) << platform::lastError();
  EXPECT_EQ(retrieved.GetMessageText(), text);
}

}  // namespace
