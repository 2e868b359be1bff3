// Rewriting a task's message for the send queue, byte for byte, and queueing it on disk.
#include "queue/task_message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "current_dir.h"
#include "postwell/pop3_message.h"
#include "queue/queue_task.h"
#include "store/header_text.h"
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

// "Subject: 审核退回:Hello" as a reader decodes it.
const std::string kReturnedHello = "Subject: =?UTF-8?B?5a6h5qC46YCA5ZueOkhlbGxv?=\r\n";

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
       mdaemonKept + kReturnedHello +
           "X-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n"
           "X-Sign-Message: =?UTF-8?B?6K+35pS55q2j?=\r\n" +
           kBody},
      {"returnWithoutReason", mdaemon + kBody, kTaskReturn, "",
       mdaemonKept + kReturnedHello + "X-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n" + kBody},
      {"reasonLineBreaksBecomeBlanks", "Subject: Hello\r\n" + kBody, kTaskReturn,
       "one\r\ntwo\nthree\rfour",
       kReturnedHello +
           "X-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n"
           "X-Sign-Message: one two three four\r\n" +
           kBody},
      {"subjectWithoutBlank", "From: a@x\r\nSubject:Hello\r\n" + kBody, kTaskReturn, "",
       "From: a@x\r\n" + kReturnedHello + "X-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n" +
           kBody},
      {"emptySubjectKeepsItsLineBreak", "From: a@x\r\nSubject:\r\n" + kBody, kTaskReturn, "",
       "From: a@x\r\nSubject: =?UTF-8?B?5a6h5qC46YCA5ZueOg==?=\r\nX-Sign: vandry!\r\n"
       "X-Sign-Stat: Back By boss\r\n" +
           kBody},
      {"subjectFirstAndInLowerCase", "subject: hi\r\nX-Subject: no\r\n" + kBody, kTaskReturn, "",
       "subject: =?UTF-8?B?5a6h5qC46YCA5ZueOmhp?=\r\nX-Subject: no\r\nX-Sign: vandry!\r\n"
       "X-Sign-Stat: Back By boss\r\n" +
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

// A returned message's subject and reason as readers show them.
struct ReturnedCase {
  const char* name;
  std::string subjectField;  // as the message arrived, without its CR LF
  std::string reason;
  std::string shownSubject;
  std::string shownReason;
};

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::vector<ReturnedCase> ReturnedCases() {
  return {
      {"ascii", "Subject: Hello", "ok", "审核退回:Hello", "ok"},
      {"rawUtf8", "Subject: 季度报表", "请补充附件", "审核退回:季度报表", "请补充附件"},
      {"gb2312Word", "Subject: =?GB2312?B?vL62yLGose0=?=", "", "审核退回:季度报表", ""},
      {"characterSplitOverFoldedWords", "Subject: =?gb2312?B?vL62yLE=?=\r\n =?gb2312?B?qLHt?=", "",
       "审核退回:季度报表", ""},
      {"wordsAndText", "Subject: Re: =?utf-8?Q?r=C3=A9union?= =?UTF-8?B?5oql6KGo?= done", "",
       "审核退回:Re: réunion报表 done", ""},
      {"unknownCharsetStaysAsItStands", "Subject: =?x-unknown?B?aGk=?=", "",
       "审核退回:=?x-unknown?B?aGk=?=", ""},
      {"longSubject", "Subject: " + Repeat("季度报表 ", 30), Repeat("理由很长。", 30),
       "审核退回:" + Repeat("季度报表 ", 29) + "季度报表", Repeat("理由很长。", 30)},
      {"lineBreaksInTheReason", "Subject: Hi", "请补充\r\n附件\nBcc: spy@evil.test", "审核退回:Hi",
       "请补充 附件 Bcc: spy@evil.test"},
  };
}

// The raw value of the first field of the name, folded lines and all.
std::string RawField(const std::string& header, const std::string& name) {
  const std::size_t start = ("\r\n" + header).find("\r\n" + name + ":");
  if (start == std::string::npos) return "";
  std::size_t end = header.find("\r\n", start);
  while (end != std::string::npos && end + 2 < header.size() &&
         (header[end + 2] == ' ' || header[end + 2] == '\t'))
    end = header.find("\r\n", end + 2);
  return header.substr(start + name.size() + 1, end - start - name.size() - 1);
}

class Returned : public ::testing::TestWithParam<ReturnedCase> {};

TEST_P(Returned, SubjectAndReasonReadBackAsIntended) {
  const ReturnedCase& c = GetParam();
  std::string text = "From: a@x\r\n" + c.subjectField + "\r\nTo: b@y\r\n\r\nBody\r\n";
  ASSERT_TRUE(RewriteTaskMessage(text, kTaskReturn, "boss", c.reason));
  CPop3Message message;
  ASSERT_TRUE(message.SetMessageText(text.data(), text.size()));
  const std::string header = message.GetHeader();
  // Every header line is ASCII and fits the line length that readers expect.
  for (std::size_t start = 0; start <= header.size();) {
    const std::size_t end = std::min(header.find("\r\n", start), header.size());
    const std::string line = header.substr(start, end - start);
    EXPECT_LE(line.size(), 76u) << line;
    for (const char ch : line) EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << line;
    start = end + 2;
  }
  const std::string subject = RawField(header, "Subject");
  EXPECT_EQ(DecodeHeaderText(subject), c.shownSubject);
  const std::string reason = RawField(header, "X-Sign-Message");
  EXPECT_EQ(DecodeHeaderText(reason), c.shownReason);
  EXPECT_EQ(message.GetHeaderItem("To", 0), "b@y");
  EXPECT_EQ(message.GetHeaderItem("X-Sign-Stat", 0), "Back By boss");
  // A value of one encoded word is also what the library's own header decoding gives.
  const auto oneWord = [](const std::string& raw) {
    const std::size_t first = raw.find("?=");
    return first == std::string::npos || raw.find("=?", first) == std::string::npos;
  };
  if (oneWord(subject)) {
    EXPECT_EQ(message.GetHeaderItem("Subject", 0), c.shownSubject);
  }
  if (oneWord(reason)) {
    EXPECT_EQ(message.GetHeaderItem("X-Sign-Message", 0), c.shownReason);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Returned, ::testing::ValuesIn(ReturnedCases()),
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
            "From: a@x\r\nSubject: =?UTF-8?B?5a6h5qC46YCA5ZueOkhp?=\r\nX-Sign: vandry!\r\n"
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
  EXPECT_EQ(Queued(".eml"), "From: \"Alice\" <alice@example.test>\r\n" + kReturnedHello +
                                "X-Sign: vandry!\r\n"
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
