// Rewriting a task's message for the send queue, byte for byte, and queueing it on disk.
#include "queue/task_message.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "current_dir.h"
#include "queue/queue_task.h"
#include "store/task_store.h"

namespace {

using namespace std::string_literals;

struct RewriteCase {
  const char* name;
  std::string message;
  TaskAction action;
  std::string reason;
  std::string expected;
};

const std::string kBody = "\r\nBody line\r\nReceived: in the body\r\nSubject: in the body\r\n";

std::vector<RewriteCase> RewriteCases() {
  const std::string traced =
      "Received: from pc1.example.test (10.0.0.5)\r\n"
      "\tby mail.example.test with ESMTP id md50000000042.msg\r\n"
      "\tfor <boss@example.test>; Mon, 1 Jan 2024 10:00:00 +0800\r\n"
      "Subject: A folded\r\n"
      " subject line\r\n"
      "Received: from localhost by pc1.example.test\r\n"
      "X-Mailer: Foxmail 7\r\n"
      "From: \"Alice\" <alice@example.test>\r\n"
      "To: bob@example.test\r\n";
  const std::string tracedKept =
      "Subject: A folded\r\n"
      " subject line\r\n"
      "From: \"Alice\" <alice@example.test>\r\n"
      "To: bob@example.test\r\n";
  const std::string mdaemon =
      "From: alice@example.test\r\n"
      "x-mdremoteip: 10.0.0.5\r\n"
      "X-MDaemon-Deliver-To: boss@example.test,\r\n"
      " carol@example.test\r\n"
      "X-Mailer-Version: 2\r\n"
      "Subject: Hello\r\n";
  const std::string mdaemonKept =
      "From: alice@example.test\r\n"
      "X-Mailer-Version: 2\r\n";
  return {
      {"approveStripsTraceFieldsAndKeepsAFoldedSubject", traced + kBody, kTaskApprove, "",
       tracedKept + "X-Sign: vandry!\r\nX-Sign-Stat: Approve By boss\r\n" + kBody},
      {"approveWithoutTraceFields", tracedKept + kBody, kTaskApprove, "",
       tracedKept + "X-Sign: vandry!\r\nX-Sign-Stat: Approve By boss\r\n" + kBody},
      {"returnWithReasonInAnyCaseOfFieldNames", mdaemon + kBody, kTaskReturn, "请改正",
       mdaemonKept +
           "Subject: 审核退回:Hello\r\nX-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n"
           "X-Sign-Message: 请改正\r\n" +
           kBody},
      {"returnWithoutReason", mdaemon + kBody, kTaskReturn, "",
       mdaemonKept + "Subject: 审核退回:Hello\r\nX-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n" +
           kBody},
      {"reasonLineBreaksBecomeBlanks", "Subject: Hello\r\n" + kBody, kTaskReturn,
       "one\r\ntwo\nthree\rfour",
       "Subject: 审核退回:Hello\r\nX-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n"
       "X-Sign-Message: one two three four\r\n" +
           kBody},
      {"subjectWithoutBlank", "From: a@x\r\nSubject:Hello\r\n" + kBody, kTaskReturn, "",
       "From: a@x\r\nSubject:审核退回:Hello\r\nX-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n" +
           kBody},
      {"emptySubjectKeepsItsLineBreak", "From: a@x\r\nSubject:\r\n" + kBody, kTaskReturn, "",
       "From: a@x\r\nSubject:审核退回:\r\nX-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n" +
           kBody},
      {"subjectFirstAndInLowerCase", "subject: hi\r\nX-Subject: no\r\n" + kBody, kTaskReturn, "",
       "subject: 审核退回:hi\r\nX-Subject: no\r\nX-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n" +
           kBody},
      {"noSubjectInTheHeader", "From: a@x\r\n" + kBody, kTaskReturn, "",
       "From: a@x\r\nX-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n" + kBody},
      {"markerFieldsTheMessageArrivedWithGo",
       "X-Sign: pending\r\nFrom: a@x\r\nx-sign-stat: Approve By boss\r\n\tfolded\r\n"
       "X-Sign-Message: ok\r\nX-Signature: kept\r\n" +
           kBody,
       kTaskApprove, "",
       "From: a@x\r\nX-Signature: kept\r\nX-Sign: vandry!\r\nX-Sign-Stat: Approve By boss\r\n" +
           kBody},
      {"headerOfTraceFieldsOnly", "Received: a\r\n\tb\r\n\r\nBody\r\n\r\nMore\r\n", kTaskApprove,
       "", "X-Sign: vandry!\r\nX-Sign-Stat: Approve By boss\r\n\r\nBody\r\n\r\nMore\r\n"},
  };
}

class Rewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(Rewrite, GivesTheQueuedMessageByteForByte) {
  const RewriteCase& c = GetParam();
  std::string text = c.message;
  ASSERT_TRUE(RewriteTaskMessage(text, c.action, "boss", c.reason));
  EXPECT_EQ(text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Rewrite, ::testing::ValuesIn(RewriteCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RewriteFailure, MessageWithoutAnEmptyLineAfterItsHeader) {
  for (std::string text : {"From: a@x\r\nSubject: x\r\n", "From: a@x\n\nBody\n", ""}) {
    const std::string before = text;
    EXPECT_FALSE(RewriteTaskMessage(text, kTaskApprove, "boss", ""));
    EXPECT_EQ(text, before);
  }
}

TEST(TurnBack, ReturnGoesFromTheUserAtTheSendersDomainToTheSender) {
  tagTaskHead head{"\"Alice Wang\" <alice@example.test>",
                   "bob@example.test",
                   "carol@example.test",
                   "dave@example.test",
                   "Hello",
                   "QV000000001",
                   ""};
  TurnBackToSender(head, "boss");
  EXPECT_EQ(head.From, "boss@example.test");
  EXPECT_EQ(head.To, "\"Alice Wang\" <alice@example.test>");
  EXPECT_EQ(head.Cc, "");
  EXPECT_EQ(head.Bcc, "");
  EXPECT_EQ(head.Subject, "Hello");

  tagTaskHead anonymous{"", "bob@example.test", "carol@example.test", "", "Hi", "QV2", ""};
  TurnBackToSender(anonymous, "boss");
  EXPECT_EQ(anonymous.To, "bob@example.test");
  EXPECT_EQ(anonymous.Cc, "carol@example.test");
}

// Line breaks in the user name or the reason never start a header line of their own.
TEST(Rewrite, UserNameAndReasonStayOnTheirMarkerLines) {
  std::string text = "From: a@x\r\nSubject: Hi\r\n\r\nBody\r\n";
  ASSERT_TRUE(RewriteTaskMessage(text, kTaskReturn, "boss\r\nBcc: spy@evil.test",
                                 "why\nX-Sign: vandry!\0more"s));
  EXPECT_EQ(text,
            "From: a@x\r\nSubject: 审核退回:Hi\r\nX-Sign: vandry!\r\n"
            "X-Sign-Stat: Back By boss Bcc: spy@evil.test\r\n"
            "X-Sign-Message: why X-Sign: vandry! more\r\n\r\nBody\r\n");
}

TEST(TurnBack, UserNameThatIsAnAddressIsTheSender) {
  tagTaskHead head{"\"Alice\" <alice@example.test>",
                   "bob@example.test",
                   "c@example.test",
                   "",
                   "Hi",
                   "QV000000001",
                   ""};
  TurnBackToSender(head, "boss@demo.test");
  EXPECT_EQ(head.From, "boss@demo.test");
  EXPECT_EQ(head.To, "\"Alice\" <alice@example.test>");
  EXPECT_EQ(head.Cc, "");

  tagTaskHead broken{"alice@example.test", "", "", "", "", "QV000000002", ""};
  TurnBackToSender(broken, "boss\r\nBcc=spy");
  EXPECT_EQ(broken.From, "boss Bcc=spy@example.test");
}

class QueueTask : public ::testing::Test {
 protected:
  void SetUp() override {
    home = HomeDirectory("boss");
    testsupport::writeFile(TaskMessagePath(home, "QV000000001"),
                           "From: \"Alice\" <alice@example.test>\r\nSubject: Hello\r\n\r\nHi\r\n");
    WriteTaskHead(TaskHeadPath(home, "QV000000001"),
                  {"\"Alice\" <alice@example.test>", "bob@example.test", "c@example.test",
                   "d@example.test", "Hello", "QV000000001", "with ESMTP id md5"});
  }
  std::string Queued(const char* extension) const {
    return testsupport::readFile(dir.file(std::string("HOME_boss/Queue/QV000000001") + extension));
  }
  // The queued header summary without the decision that follows it.
  std::string QueuedHead() const {
    const std::string head = Queued(".inf");
    return head.substr(0, head.find("[Decision]\r\n"));
  }
  std::string QueuedDecisionOf() const {
    return QueuedDecision(QueueDirectory("boss"), "QV000000001").Decision;
  }

  CurrentTempDir dir;
  std::string home;
};

TEST_F(QueueTask, ApproveCopiesTheHeadAndWritesTheMarkedMessage) {
  testsupport::writeFile(TaskMessagePath(QueueDirectory("boss"), "QV000000001"), "stale, longer");
  ASSERT_EQ(QueueTaskMessage("boss", "QV000000001", kTaskApprove, ""), QueueOutcome::kQueued);
  EXPECT_EQ(Queued(".eml"),
            "From: \"Alice\" <alice@example.test>\r\nSubject: Hello\r\nX-Sign: vandry!\r\n"
            "X-Sign-Stat: Approve By boss\r\n\r\nHi\r\n");
  EXPECT_EQ(QueuedHead(), testsupport::readFile(TaskHeadPath(home, "QV000000001")));
  EXPECT_EQ(QueuedDecisionOf(), kDecisionApprove);
  EXPECT_TRUE(std::filesystem::exists(TaskMessagePath(home, "QV000000001")));
}

TEST_F(QueueTask, ReturnTurnsTheQueuedHeadBackToTheSender) {
  ASSERT_EQ(QueueTaskMessage("boss", "QV000000001", kTaskReturn, "no"), QueueOutcome::kQueued);
  EXPECT_EQ(QueuedDecisionOf(), kDecisionReturn);
  EXPECT_EQ(QueuedHead(),
            "[Head]\r\nFrom=boss@example.test\r\nTo=\"Alice\" <alice@example.test>\r\nCc=\r\n"
            "Bcc=\r\nSubject=Hello\r\nMsgId=QV000000001\r\nWaterId=with ESMTP id md5\r\n");
  EXPECT_EQ(Queued(".eml"),
            "From: \"Alice\" <alice@example.test>\r\nSubject: 审核退回:Hello\r\nX-Sign: vandry!\r\n"
            "X-Sign-Stat: Back By boss\r\nX-Sign-Message: no\r\n\r\nHi\r\n");
}

TEST_F(QueueTask, ReturnOfATaskWithoutSenderKeepsTheCopiedHead) {
  WriteTaskHead(TaskHeadPath(home, "QV000000001"),
                {"", "bob@example.test", "", "", "Hello", "QV000000001", ""});
  ASSERT_EQ(QueueTaskMessage("boss", "QV000000001", kTaskReturn, ""), QueueOutcome::kQueued);
  EXPECT_EQ(QueuedHead(), testsupport::readFile(TaskHeadPath(home, "QV000000001")));
}

TEST_F(QueueTask, FailuresLeaveTheQueueAsItWas) {
  EXPECT_EQ(QueueTaskMessage("boss", "QV000000002", kTaskApprove, ""), QueueOutcome::kNotQueued);
  testsupport::writeFile(TaskMessagePath(home, "QV000000001"), "From: a@x\r\n");
  EXPECT_EQ(QueueTaskMessage("boss", "QV000000001", kTaskApprove, ""), QueueOutcome::kNotQueued);
  EXPECT_TRUE(StoredTaskIds(QueueDirectory("boss")).empty());

  testsupport::writeFile(TaskMessagePath(home, "QV000000001"), "From: a@x\r\n\r\nHi\r\n");
  std::filesystem::remove_all(dir.file("HOME_boss/Queue"));
  testsupport::writeFile(dir.file("HOME_boss/Queue"), "a file where the queue folder goes");
  EXPECT_EQ(QueueTaskMessage("boss", "QV000000001", kTaskApprove, ""), QueueOutcome::kNotWritten);
}

}  // namespace
