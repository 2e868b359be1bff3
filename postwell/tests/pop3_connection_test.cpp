#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "platform/last_error.h"
#include "pop3_session.h"
#include "scripted_server.h"

namespace {

using testsupport::Script;
using testsupport::ScriptedServer;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::Contains;

class Pop3Session : public ::testing::Test {
 protected:
  int connect(const char* user = "alice", const char* password = "secret") {
    server.start();
    return session.Connect("127.0.0.1", user, password, error, server.port());
  }
  // A session still connected quits as it goes; the server has closed by then.
  void TearDown() override { server.stop(); }
  void expectScriptPlayed() {
    ASSERT_TRUE(server.waitDone());
    EXPECT_THAT(server.mismatches(), IsEmpty());
  }

  ScriptedServer server;
  RecordingPop3Session session;
  unsigned long error = 0;
};

// ---- A whole check, with replies whole and in pieces ------------------------------------------

const std::string kFirst = "From: a@example.test\r\nSubject: one\r\n\r\nfirst body\r\n";
const std::string kSecond = "Subject: two\r\n\r\nsecond body\r\n";

class Pop3SessionInPieces : public Pop3Session, public ::testing::WithParamInterface<std::size_t> {
 protected:
  // 0 sends each reply whole.
  Script& reply(Script& script, const std::string& text) {
    return GetParam() == 0 ? script.send(text) : script.sendInPieces(text, GetParam(), 0);
  }
};

TEST_P(Pop3SessionInPieces, ACheckSendsExactLinesAndAnnouncesThem) {
  Script& s = server.connection();
  reply(s, "+OK ready\r\n").expect("USER alice");
  reply(s, "+OK\r\n").expect("PASS secret");
  reply(s, "+OK logged in\r\n").expect("STAT");
  reply(s, "+OK 2 84\r\n").expect("STAT");
  reply(s, "+OK 2 84\r\n").expect("LIST");
  reply(s, "+OK 2 messages\r\n1 53\r\n2 31\r\n.\r\n").expect("RETR 1");
  reply(s, "+OK 53 octets\r\n" + kFirst + ".\r\n").expect("DELE 1");
  reply(s, "+OK deleted\r\n").expect("RETR 2");
  reply(s, "+OK 31 octets\r\n" + kSecond + ".\r\n").expect("DELE 2");
  reply(s, "+OK deleted\r\n").expect("QUIT");
  reply(s, "+OK bye\r\n");

  ASSERT_EQ(connect(), 1) << session.GetLastCommandResponse();
  int count = 0, size = 0;
  ASSERT_EQ(session.Statistics(count, size, error), 1);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(size, 84);
  CPop3Message first, second;
  ASSERT_EQ(session.Retrieve(1, first, error), 1);
  ASSERT_EQ(session.Delete(1, error), 1);
  ASSERT_EQ(session.Retrieve(2, second, error), 1);
  ASSERT_EQ(session.Delete(2, error), 1);
  EXPECT_EQ(session.Disconnect(), 1);

  EXPECT_EQ(first.GetMessageText(), kFirst);
  EXPECT_EQ(second.GetMessageText(), kSecond);
  EXPECT_EQ(session.GetLastCommandResponse(), "+OK bye");
  expectScriptPlayed();
  EXPECT_EQ(server.received(),
            "USER alice\r\nPASS secret\r\nSTAT\r\nSTAT\r\nLIST\r\nRETR 1\r\nDELE 1\r\nRETR 2\r\n"
            "DELE 2\r\nQUIT\r\n");
  EXPECT_THAT(session.statuses,
              ElementsAre("<- +OK ready", "-> USER alice\r\n", "-> *****", "-> STAT\r\n", "-> STAT\r\n",
                          "-> LIST\r\n", "-> RETR 1\r\n", "-> DELE 1\r\n", "-> RETR 2\r\n",
                          "-> DELE 2\r\n", "-> QUIT\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Replies, Pop3SessionInPieces, ::testing::Values(0, 1, 7),
                         [](const auto& info) {
                           return info.param == 0 ? std::string("Whole")
                                                  : "InPiecesOf" + std::to_string(info.param);
                         });

// ---- Terminators split across reads -------------------------------------------------------------

// Sends the reply to the expected line once for every split point, the two parts apart in time.
void replySplitAtEveryOffset(Script& script, const std::string& line, const std::string& reply) {
  for (std::size_t at = 1; at < reply.size(); ++at)
    script.expect(line).send(reply.substr(0, at)).pause(15).send(reply.substr(at));
  // Nothing of the replies is left behind to spoil the next one.
  script.expect("NOOP").send("+OK still here\r\n");
}

TEST_F(Pop3Session, LineReplySplitAtEveryOffset) {
  const std::string reply = "+OK fine\r\n";
  replySplitAtEveryOffset(greetAndLogIn(server.connection()), "RSET", reply);
  ASSERT_EQ(connect(), 1);
  for (std::size_t at = 1; at < reply.size(); ++at) {
    ASSERT_EQ(session.Reset(), 1) << "split at " << at;
    EXPECT_EQ(session.GetLastCommandResponse(), "+OK fine");
  }
  EXPECT_EQ(session.Noop(), 1);
  EXPECT_EQ(session.GetLastCommandResponse(), "+OK still here");
  expectScriptPlayed();
}

TEST_F(Pop3Session, ListReplySplitAtEveryOffset) {
  const std::string reply = "+OK 2 messages\r\n1 100\r\n2 200\r\n.\r\n";
  Script& s = greetAndLogIn(server.connection()).expect("STAT").send("+OK 2 300\r\n");
  replySplitAtEveryOffset(s, "LIST", reply);
  ASSERT_EQ(connect(), 1);
  for (std::size_t at = 1; at < reply.size(); ++at) {
    ASSERT_EQ(session.List(), 1) << "split at " << at;
    EXPECT_THAT(session.m_arrMessageSize, ElementsAre(100u, 200u)) << "split at " << at;
  }
  EXPECT_EQ(session.Noop(), 1);
  expectScriptPlayed();
}

TEST_F(Pop3Session, MessageReplySplitAtEveryOffset) {
  const std::string message = "Subject: s\r\n\r\nbody\r\n";
  const std::string reply = "+OK\r\n" + message + ".\r\n";
  Script& s = greetAndLogIn(server.connection())
                  .expect("STAT").send("+OK 1 20\r\n")
                  .expect("LIST").send("+OK\r\n1 20\r\n.\r\n");
  replySplitAtEveryOffset(s, "RETR 1", reply);
  ASSERT_EQ(connect(), 1);
  for (std::size_t at = 1; at < reply.size(); ++at) {
    CPop3Message retrieved;
    ASSERT_EQ(session.Retrieve(1, retrieved, error), 1) << "split at " << at;
    EXPECT_EQ(retrieved.GetMessageText(), message) << "split at " << at;
  }
  EXPECT_EQ(session.Noop(), 1);
  expectScriptPlayed();
}

// ---- Reply contents ---------------------------------------------------------------------------------

TEST_F(Pop3Session, ReplyLongerThanTheFirstBufferArrivesWhole) {
  const std::string longLine = "+OK " + std::string(3000, 'x');
  greetAndLogIn(server.connection()).expect("NOOP").send(longLine + "\r\n");
  ASSERT_EQ(connect(), 1);
  ASSERT_EQ(session.Noop(), 1);
  EXPECT_EQ(session.GetLastCommandResponse(), longLine);
}

TEST_F(Pop3Session, MessageLargerThanItsListedSizeArrivesWhole) {
  std::string message = "Subject: big\r\n\r\n";
  for (int i = 0; i < 3000; ++i) message += "line " + std::to_string(i) + " of a long message body\r\n";
  greetAndLogIn(server.connection())
      .expect("STAT").send("+OK 1 10\r\n")
      .expect("LIST").send("+OK\r\n1 10\r\n.\r\n")
      .expect("RETR 1").sendInPieces("+OK\r\n" + message + ".\r\n", 5000, 1);
  ASSERT_EQ(connect(), 1);
  CPop3Message retrieved;
  ASSERT_EQ(session.Retrieve(1, retrieved, error), 1);
  EXPECT_EQ(retrieved.GetMessageText(), message);
}

TEST_F(Pop3Session, NulBytesAreRemoved) {
  greetAndLogIn(server.connection())
      .expect("NOOP").send(std::string("+OK a\0b\0\r\n", 10))
      .expect("STAT").send("+OK 1 9\r\n")
      .expect("LIST").send("+OK\r\n1 9\r\n.\r\n")
      .expect("RETR 1").send(std::string("+OK\r\nx\0y\r\n.\r\n", 14));
  ASSERT_EQ(connect(), 1);
  ASSERT_EQ(session.Noop(), 1);
  EXPECT_EQ(session.GetLastCommandResponse(), "+OK ab");
  CPop3Message retrieved;
  ASSERT_EQ(session.Retrieve(1, retrieved, error), 1);
  EXPECT_STREQ(retrieved.GetMessageText(), "xy\r\n");
}

TEST_F(Pop3Session, DoubledLeadingDotsAreKept) {
  const std::string message = "Subject: dots\r\n\r\n..leading dot\r\n...\r\nend\r\n";
  greetAndLogIn(server.connection())
      .expect("STAT").send("+OK 1 40\r\n")
      .expect("LIST").send("+OK\r\n1 40\r\n.\r\n")
      .expect("RETR 1").send("+OK\r\n" + message + ".\r\n");
  ASSERT_EQ(connect(), 1);
  CPop3Message retrieved;
  ASSERT_EQ(session.Retrieve(1, retrieved, error), 1);
  EXPECT_EQ(retrieved.GetMessageText(), message);
}

TEST_F(Pop3Session, NegativeReplyToAMultiLineCommandEndsAtItsLine) {
  greetAndLogIn(server.connection())
      .expect("STAT").send("+OK 1 20\r\n")
      .expect("LIST").send("+OK\r\n1 20\r\n.\r\n")
      .expect("RETR 1").sendInPieces("-ERR no such message\r\n", 3)
      .expect("NOOP").send("+OK still here\r\n");
  session.SetTimeout(2000);
  ASSERT_EQ(connect(), 1);
  CPop3Message retrieved;
  EXPECT_EQ(session.Retrieve(1, retrieved, error), 0);
  // 10060 would mean the reader waited for an end-of-data line that never comes.
  EXPECT_EQ(platform::lastError(), 10043u);
  EXPECT_EQ(session.GetLastCommandResponse(), "-ERR no such message");
  EXPECT_EQ(session.Noop(), 1);
  expectScriptPlayed();
}

TEST_F(Pop3Session, ListsUidlTopDeleteResetNoopSendExactLines) {
  greetAndLogIn(server.connection())
      .expect("STAT").send("+OK 2 300\r\n")
      .expect("UIDL").send("+OK\r\n1 abc\r\n2 def\r\n.\r\n")
      .expect("LIST").send("+OK\r\n1 100\r\n2 200\r\n.\r\n")
      .expect("TOP 2 10").send("+OK\r\nSubject: head\r\n\r\nline\r\n.\r\n")
      .expect("DELE 1").send("+OK\r\n")
      .expect("RSET").send("+OK\r\n")
      .expect("NOOP").send("+OK\r\n")
      .expect("QUIT").send("+OK bye\r\n");
  ASSERT_EQ(connect(), 1);
  std::string id;
  ASSERT_EQ(session.GetMessageID(2, id), 1);
  EXPECT_EQ(id, "2 def");
  CPop3Message head;
  ASSERT_EQ(session.GetMessageHeader(2, head, error), 1);
  EXPECT_EQ(head.GetSubject(), "head");
  unsigned long size = 0;
  EXPECT_EQ(session.GetMessageSize(2, size), 1);
  EXPECT_EQ(size, 200u);
  EXPECT_EQ(session.Delete(1, error), 1);
  EXPECT_EQ(session.Reset(), 1);
  EXPECT_EQ(session.Noop(), 1);
  EXPECT_EQ(session.Disconnect(), 1);
  expectScriptPlayed();
  EXPECT_THAT(session.statuses, Not(Contains("-> TOP 2 10\r\n")));
  EXPECT_THAT(session.statuses, Contains("-> DELE 1\r\n"));
}

TEST_F(Pop3Session, LongUserNameAndPasswordAreSentWhole) {
  const std::string user(500, 'u'), password(700, 'p');
  server.connection()
      .send("+OK\r\n").expect("USER " + user)
      .send("+OK\r\n").expect("PASS " + password)
      .send("+OK\r\n");
  ASSERT_EQ(connect(user.c_str(), password.c_str()), 1);
  expectScriptPlayed();
}

// ---- Lists that disagree or are empty ---------------------------------------------------------------

TEST_F(Pop3Session, EmptyListHasNoMessages) {
  greetAndLogIn(server.connection())
      .expect("STAT").send("+OK 0 0\r\n")
      .expect("LIST").send("+OK\r\n.\r\n");
  ASSERT_EQ(connect(), 1);
  unsigned long size = 77;
  EXPECT_EQ(session.GetMessageSize(1, size), 0);
  EXPECT_EQ(size, 77u);
  EXPECT_THAT(session.m_arrMessageSize, IsEmpty());
  expectScriptPlayed();
}

TEST_F(Pop3Session, MessageNumberOutsideTheListFailsWithoutAsking) {
  greetAndLogIn(server.connection())
      .expect("STAT").send("+OK 3 600\r\n")
      .expect("LIST").send("+OK\r\n1 100\r\n2 200\r\n.\r\n")
      .expect("QUIT").send("+OK\r\n");
  ASSERT_EQ(connect(), 1);
  CPop3Message message;
  EXPECT_EQ(session.Retrieve(3, message, error), 0);
  EXPECT_EQ(session.Retrieve(0, message, error), 0);
  EXPECT_EQ(session.GetMessageHeader(-1, message, error), 0);
  EXPECT_EQ(session.Disconnect(), 1);
  EXPECT_EQ(message.GetMessageText(), nullptr);
  expectScriptPlayed();
  EXPECT_EQ(server.received(), "USER alice\r\nPASS secret\r\nSTAT\r\nLIST\r\nQUIT\r\n");
}

struct StatCase {
  const char* reply;
  int result;
  int count;
  int size;
};

class Pop3Stat : public Pop3Session, public ::testing::WithParamInterface<StatCase> {};

TEST_P(Pop3Stat, ParsesCountAndSize) {
  greetAndLogIn(server.connection()).expect("STAT").send(std::string(GetParam().reply) + "\r\n");
  ASSERT_EQ(connect(), 1);
  int count = -1, size = -1;
  EXPECT_EQ(session.Statistics(count, size, error), GetParam().result);
  EXPECT_EQ(count, GetParam().count);
  EXPECT_EQ(size, GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Replies, Pop3Stat,
                         ::testing::Values(StatCase{"+OK 0 0", 1, 0, 0}, StatCase{"+OK 3 4500", 1, 3, 4500},
                                           StatCase{"+OK\t2\t99", 1, 2, 99},
                                           StatCase{"+OK 3", 0, 3, -1},  // no size
                                           StatCase{"+ok 3 4500", 0, -1, -1},
                                           StatCase{"-ERR locked", 0, -1, -1}));

// ---- Failures -----------------------------------------------------------------------------------

TEST_F(Pop3Session, NegativeGreetingFailsWith4944AndQuits) {
  server.connection().send("-ERR busy\r\n").expect("QUIT").send("+OK bye\r\n");
  EXPECT_EQ(connect(), 0);
  EXPECT_EQ(error, 4944u);
  EXPECT_EQ(session.GetLastCommandResponse(), "+OK bye");
  EXPECT_EQ(session.m_bConnected, 0);
  expectScriptPlayed();
  EXPECT_THAT(session.statuses, ElementsAre("-> QUIT\r\n"));
}

struct LoginCase {
  const char* rejected;
  unsigned long error;
};

class Pop3Login : public Pop3Session, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(Pop3Login, RejectedLoginFailsAnnouncesTheReplyAndQuits) {
  Script& s = server.connection().send("+OK ready\r\n").expect("USER alice");
  if (std::string(GetParam().rejected) == "PASS") s.send("+OK\r\n").expect("PASS secret");
  s.send("-ERR [AUTH] no\r\n").expect("QUIT").send("+OK bye\r\n");

  EXPECT_EQ(connect(), 0);
  EXPECT_EQ(error, GetParam().error);
  EXPECT_EQ(session.GetLastCommandResponse(), "+OK bye");
  EXPECT_EQ(session.m_bConnected, 0);
  EXPECT_THAT(session.statuses, Contains("<- -ERR [AUTH] no"));
  EXPECT_EQ(session.statuses.back(), "-> QUIT\r\n");
  expectScriptPlayed();
}

INSTANTIATE_TEST_SUITE_P(Commands, Pop3Login,
                         ::testing::Values(LoginCase{"USER", 4945}, LoginCase{"PASS", 4946}),
                         [](const auto& info) { return std::string(info.param.rejected); });

TEST_F(Pop3Session, SilentServerTimesOutWith10060KeepingThePartialReply) {
  session.SetTimeout(200);
  greetAndLogIn(server.connection()).expect("NOOP").send("+OK par").silence();
  ASSERT_EQ(connect(), 1);
  EXPECT_EQ(session.Noop(), 0);
  EXPECT_EQ(platform::lastError(), 10060u);
  EXPECT_EQ(session.GetLastCommandResponse(), "+OK par");
}

TEST_F(Pop3Session, SilentGreetingFailsWith4944) {
  session.SetTimeout(200);
  server.connection().silence();
  EXPECT_EQ(connect(), 0);
  EXPECT_EQ(error, 4944u);
  EXPECT_EQ(platform::lastError(), 10060u);
  EXPECT_EQ(session.m_bConnected, 0);
}

TEST_F(Pop3Session, ClosedConnectionEndsTheWaitWith10060) {
  greetAndLogIn(server.connection()).expect("STAT").send("+OK 1").close();
  ASSERT_EQ(connect(), 1);
  const auto started = std::chrono::steady_clock::now();
  int count = 0, size = 0;
  EXPECT_EQ(session.Statistics(count, size, error), 0);
  EXPECT_EQ(platform::lastError(), 10060u);
  EXPECT_EQ(session.GetLastCommandResponse(), "+OK 1");
  // Nothing can arrive any more: the session does not sit out its idle timeout.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(session.GetTimeout()));
  EXPECT_EQ(session.Disconnect(), 0);
}

struct ConnectFailure {
  const char* host;
  unsigned long error;
};

class Pop3ConnectFailure : public ::testing::TestWithParam<ConnectFailure> {};

TEST_P(Pop3ConnectFailure, ReportsTheSocketError) {
  // Port 1 on loopback has no listener.
  RecordingPop3Session session;
  unsigned long error = 0;
  EXPECT_EQ(session.Connect(GetParam().host, "alice", "secret", error, 1), 0);
  EXPECT_EQ(error, GetParam().error);
  EXPECT_EQ(session.GetLastCommandResponse(),
            "Could not connect to the POP3 mailbox, GetLastError returns: " +
                std::to_string(GetParam().error));
  EXPECT_EQ(session.Disconnect(), 0);
}

INSTANTIATE_TEST_SUITE_P(Hosts, Pop3ConnectFailure,
                         ::testing::Values(ConnectFailure{"127.0.0.1", 10061},
                                           ConnectFailure{"no-such-host.invalid", 10022}),
                         [](const auto& info) { return info.index == 0 ? "Refused" : "UnknownHost"; });

TEST(Pop3SessionClosed, CommandsFailAtTheSend) {
  RecordingPop3Session session;
  unsigned long error = 0;
  int count = 0, size = 0;
  EXPECT_EQ(session.Statistics(count, size, error), 0);
  EXPECT_NE(error, 0u);
  EXPECT_THAT(session.GetLastCommandResponse(),
              ::testing::StartsWith("Failed to send the STAT command to the POP3 server, GetLastError returns: "));
  EXPECT_EQ(session.Noop(), 0);
  EXPECT_EQ(session.Disconnect(), 0);
}

}  // namespace
