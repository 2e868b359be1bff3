// Moving a decided task into the queue and sending it, as a process that dies at any step leaves
// them: the rules that settle the folders at load, and a real process (signer_step_driver) killed
// as it enters each call that changes a file.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <tuple>

#include "accounts.h"
#include "current_dir.h"
#include "event_log.h"
#include "kill_at_step.h"
#include "layout.h"
#include "queue/queue_task.h"
#include "server.h"
#include "store/decision_journal.h"
#include "store/task_store.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUser[] = "boss";
const std::string kId = "QV000000001";
const std::string kHome = "HOME_boss";
const std::string kQueue = "HOME_boss/Queue";
const std::string kJournal = "HOME_boss/Decisions.log";
const std::string kHomeMessage = kHome + "/" + kId + ".eml";
const std::string kHomeHead = kHome + "/" + kId + ".inf";
const std::string kQueuedMessage = kQueue + "/" + kId + ".eml";
const std::string kQueuedHead = kQueue + "/" + kId + ".inf";

const std::string kHeld =
    "Received: from pc1.corp.test by mail.corp.test with ESMTP id md5001.msg\r\n"
    "\tfor <boss@corp.test>\r\n"
    "From: \"Ann\" <ann@corp.test>\r\n"
    "To: bob@corp.test\r\n"
    "Subject: Figures\r\n"
    "\r\n"
    "The figures.\r\n";

// A downloaded task in the home folder.
void StoreTask() {
  testsupport::writeFile(TaskMessagePath(HomeDirectory(kUser), kId), kHeld);
  ASSERT_TRUE(WriteTaskHead(TaskHeadPath(HomeDirectory(kUser), kId),
                            {"\"Ann\" <ann@corp.test>", "bob@corp.test", "", "", "Figures", kId,
                             "with ESMTP id md5001"}));
}

// Every file under the current directory, by its path relative to it.
std::set<std::string> Files() {
  std::set<std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator("."))
    if (entry.is_regular_file())
      files.insert(fs::relative(entry.path(), ".").generic_string());
  return files;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs the program to its end; its exit code.
int RunToEnd(const std::vector<std::string>& argv) {
  std::string command;
  for (const std::string& argument : argv) command += Quoted(argument) + " ";
  const int status = std::system((command + "</dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

tagDecision WithoutTime(tagDecision decision) {
  decision.Time.clear();
  return decision;
}

// ---- The rules at load ------------------------------------------------------------------------

struct tagResolveCase {
  const char* name;
  std::vector<std::string> removed;  // from a task complete both at home and in the queue
  bool sent = false;                 // the queued ".inf" renamed to a sent record
  std::set<std::string> left;
};

class ResolveAtLoad : public ::testing::TestWithParam<tagResolveCase> {};

TEST_P(ResolveAtLoad, LeavesTheTaskInOnePlace) {
  const tagResolveCase& state = GetParam();
  CurrentTempDir dir;
  StoreTask();
  ASSERT_EQ(QueueTaskMessage(kUser, kId, kTaskApprove, ""), QueueOutcome::kQueued);
  if (state.sent) fs::rename(kQueuedHead, SentRecordPath(kQueue, kId));
  for (const std::string& file : state.removed) fs::remove(file);
  ResolveInterruptedSteps(kUser);
  EXPECT_EQ(Files(), state.left);
}

const std::set<std::string> kAtHome = {kHomeMessage, kHomeHead};
const std::set<std::string> kQueuedAndJournaled = {kQueuedMessage, kQueuedHead, kJournal};

INSTANTIATE_TEST_SUITE_P(
    States, ResolveAtLoad,
    ::testing::Values(
        tagResolveCase{"CompleteInBothPlacesKeepsTheQueuedCopy", {}, false, kQueuedAndJournaled},
        tagResolveCase{"HomeMessageLeftBehindGoes", {kHomeHead}, false, kQueuedAndJournaled},
        tagResolveCase{"HomeHeadLeftBehindGoes", {kHomeMessage}, false, kQueuedAndJournaled},
        tagResolveCase{"QueuedMessageWithoutHeadGoes", {kQueuedHead}, false, kAtHome},
        tagResolveCase{"QueuedHeadWithoutMessageGoes", {kQueuedMessage}, false, kAtHome},
        tagResolveCase{"QueuedAloneStays", {kHomeMessage, kHomeHead}, false,
                       {kQueuedMessage, kQueuedHead}},
        // Nothing else holds this message: it is not thrown away.
        tagResolveCase{
            "QueuedMessageWithoutHeadOrHomeStays", {kHomeMessage, kHomeHead, kQueuedHead},
            false, {kQueuedMessage}},
        tagResolveCase{"SentRecordRemovesTheTask", {kHomeMessage, kHomeHead}, true, {}},
        tagResolveCase{"SentRecordAloneGoes", {kHomeMessage, kHomeHead, kQueuedMessage}, true,
                       {}}),
    [](const ::testing::TestParamInfo<tagResolveCase>& info) { return info.param.name; });

// Temporary files of the queue and the journal go; files that are not a task's stay.
TEST(ResolveAtLoadFiles, TemporariesGoOtherFilesStay) {
  CurrentTempDir dir;
  StoreTask();
  QueueDirectory(kUser);
  const std::vector<std::string> temporaries = {
      kQueuedMessage + ".~77.0", kQueuedHead + ".~77.1", kQueue + "/" + kId + ".sent.~77.2",
      kJournal + ".~77.3"};
  const std::vector<std::string> others = {kQueue + "/notes.txt", kQueue + "/QV1.eml",
                                           kQueue + "/QVabcdefghi.inf.~1.1"};
  for (const std::string& file : temporaries) testsupport::writeFile(file, "partial");
  for (const std::string& file : others) testsupport::writeFile(file, "other");
  ResolveInterruptedSteps(kUser);
  std::set<std::string> left = kAtHome;
  left.insert(others.begin(), others.end());
  EXPECT_EQ(Files(), left);
}

// A process that died between queuing the task and journaling it: the decision stored with the
// queued task goes into the journal, once.
TEST(ResolveAtLoadFiles, DecisionMissingFromTheJournalIsAddedOnce) {
  CurrentTempDir dir;
  StoreTask();
  ASSERT_EQ(QueueTaskMessage(kUser, kId, kTaskReturn, "see\tme"), QueueOutcome::kQueued);
  const tagDecision queued = QueuedDecision(kQueue, kId);
  EXPECT_EQ(WithoutTime(queued),
            (tagDecision{"", kId, "with ESMTP id md5001", "\"Ann\" <ann@corp.test>",
                         "bob@corp.test", "Figures", kDecisionReturn, "see me", kUser}));
  EXPECT_FALSE(queued.Time.empty());

  ResolveInterruptedSteps(kUser);
  EXPECT_EQ(ReadDecisions(kHome), std::vector<tagDecision>{queued});
  StoreTask();  // the home copy again: the process died once more before removing it
  ResolveInterruptedSteps(kUser);
  EXPECT_EQ(ReadDecisions(kHome), std::vector<tagDecision>{queued});
  EXPECT_EQ(Files(), kQueuedAndJournaled);
}

// ---- A process killed at each step ------------------------------------------------------------

const std::string kDriver = SIGNER_STEP_DRIVER;

// The driver runs under strace, where LeakSanitizer cannot work.
const bool kLeakCheckOffInChildren = ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1) == 0;

struct tagDecideCase {
  const char* name;
  TaskAction action;
  const char* reason;
  bool journalExists;  // an earlier decision is in the journal
};

class DecideSteps : public ::testing::TestWithParam<tagDecideCase> {
 protected:
  void Prepare() {
    StoreTask();
    if (GetParam().journalExists) {
      ASSERT_TRUE(AppendDecision(kHome, m_earlier));
    }
  }
  std::vector<std::string> Argv() const {
    return {kDriver, "decide", GetParam().action == kTaskApprove ? "approve" : "return", kId,
            GetParam().reason};
  }
  std::vector<tagDecision> Earlier() const {
    return GetParam().journalExists ? std::vector<tagDecision>{m_earlier}
                                    : std::vector<tagDecision>{};
  }

  // The task is complete in exactly one place, with the contents a whole run gives, and the
  // journal holds its decision exactly when it is queued. True when it is at home.
  bool ExpectOnePlace(const std::string& queuedMessage, const tagTaskHead& queuedHead,
                      const tagDecision& decision) {
    std::set<std::string> journal;
    if (fs::exists(kJournal)) journal.insert(kJournal);
    if (Files().count(kHomeHead) != 0) {
      std::set<std::string> expected = {kHomeMessage, kHomeHead};
      expected.insert(journal.begin(), journal.end());
      EXPECT_EQ(Files(), expected);
      EXPECT_EQ(testsupport::readFile(kHomeMessage), kHeld);
      EXPECT_EQ(ReadTaskHead(kHomeHead, 1023).WaterId, "with ESMTP id md5001");
      EXPECT_EQ(ReadDecisions(kHome), Earlier());
      return true;
    }
    EXPECT_EQ(Files(), kQueuedAndJournaled);
    EXPECT_EQ(testsupport::readFile(kQueuedMessage), queuedMessage);
    const tagTaskHead head = ReadTaskHead(kQueuedHead, 1023);
    EXPECT_EQ(std::tie(head.From, head.To, head.Cc, head.Subject, head.WaterId),
              std::tie(queuedHead.From, queuedHead.To, queuedHead.Cc, queuedHead.Subject,
                       queuedHead.WaterId));
    std::vector<tagDecision> expected = Earlier();
    expected.push_back(QueuedDecision(kQueue, kId));
    EXPECT_EQ(ReadDecisions(kHome), expected);
    EXPECT_EQ(WithoutTime(expected.back()), WithoutTime(decision));
    return false;
  }

  const tagDecision m_earlier{"2024-01-02 03:04:05", "QV000000000", "w0", "a@corp.test",
                              "b@corp.test", "Earlier", kDecisionApprove, "", kUser};
};

TEST_P(DecideSteps, KilledAtAnyStepTheTaskIsInExactlyOnePlace) {
  REQUIRE_KILL_AT_STEP();
  ASSERT_TRUE(kLeakCheckOffInChildren);
  std::string queuedMessage;
  tagTaskHead queuedHead;
  tagDecision decision;
  {
    CurrentTempDir reference;
    Prepare();
    ASSERT_EQ(RunToEnd(Argv()), 0);
    queuedMessage = testsupport::readFile(kQueuedMessage);
    queuedHead = ReadTaskHead(kQueuedHead, 1023);
    decision = QueuedDecision(kQueue, kId);
    ASSERT_FALSE(ExpectOnePlace(queuedMessage, queuedHead, decision));
  }
  int kills = 0;
  for (const std::string& call : testsupport::FileChangingCalls()) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE("killed entering " + call + " #" + std::to_string(n));
      CurrentTempDir dir;
      Prepare();
      const testsupport::StepRun run = testsupport::RunKilledAtCall(Argv(), call, n);
      if (!run.killed) {
        ASSERT_EQ(run.exitCode, 0);
        break;
      }
      ++kills;
      ResolveInterruptedSteps(kUser);
      if (ExpectOnePlace(queuedMessage, queuedHead, decision)) {
        // Still waiting at home: deciding again works.
        ASSERT_EQ(RunToEnd(Argv()), 0);
        ResolveInterruptedSteps(kUser);
        EXPECT_FALSE(ExpectOnePlace(queuedMessage, queuedHead, decision));
      }
      if (HasFailure()) return;
    }
  }
  EXPECT_GT(kills, 10);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, DecideSteps,
    ::testing::Values(tagDecideCase{"Approve", kTaskApprove, "", true},
                      tagDecideCase{"ReturnWithTheFirstJournalLine", kTaskReturn, "too long", false}),
    [](const ::testing::TestParamInfo<tagDecideCase>& info) { return info.param.name; });

// The driver sends one approved task to the mail-server stand-in, killed at each step; a normal run
// follows. The message reaches its recipient exactly once, except when the kill falls between the
// server's acceptance and the record of it: then it goes again.
TEST(SendSteps, KilledAtAnyStepTheMessageIsDeliveredOnceOutsideTheWindow) {
  REQUIRE_KILL_AT_STEP();
  ASSERT_TRUE(kLeakCheckOffInChildren);
  testsupport::TempDir root;
  const mailsandbox::Layout layout{root.path()};
  std::string error;
  ASSERT_TRUE(mailsandbox::Accounts(layout).addMailbox("bob@corp.test", "bob-pw", error)) << error;
  std::FILE* logFile = std::tmpfile();
  mailsandbox::EventLog log{logFile};
  mailsandbox::Server server{layout, log};
  ASSERT_TRUE(server.start(0, 0, error)) << error;
  const std::string mailbox = layout.mailboxDirectory("corp.test", "bob");
  const auto delivered = [&] {
    std::size_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(mailbox))
      count += entry.path().extension() == ".msg";
    return count;
  };
  const std::vector<std::string> argv = {kDriver, "send", std::to_string(server.smtpPort())};

  std::vector<std::string> window;
  for (const std::string& call : testsupport::FileChangingCalls()) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE("killed entering " + call + " #" + std::to_string(n));
      for (const fs::directory_entry& entry : fs::directory_iterator(mailbox))
        if (entry.path().extension() == ".msg") fs::remove(entry.path());
      CurrentTempDir dir;
      StoreTask();
      ASSERT_EQ(MoveDecidedTask(kUser, kId, kTaskApprove, ""), QueueOutcome::kQueued);
      const std::set<std::string> journaled = {kJournal};

      const testsupport::StepRun run = testsupport::RunKilledAtCall(argv, call, n);
      if (!run.killed) {
        ASSERT_EQ(run.exitCode, 0);
        EXPECT_EQ(delivered(), 1u);
        EXPECT_EQ(Files(), journaled);
        break;
      }
      const bool inWindow = delivered() == 1 && fs::exists(kQueuedHead);
      if (inWindow) window.push_back(call + " #" + std::to_string(n));
      ASSERT_EQ(RunToEnd(argv), 0);
      EXPECT_EQ(delivered(), inWindow ? 2u : 1u);
      EXPECT_EQ(Files(), journaled);
      if (HasFailure()) break;
    }
  }
  server.stop();
  std::fclose(logFile);
  // Only the rename that makes the record lies between the acceptance and the record.
  ASSERT_EQ(window.size(), 1u) << ::testing::PrintToString(window);
  EXPECT_EQ(window[0].rfind("rename", 0), 0u) << window[0];
}

}  // namespace
