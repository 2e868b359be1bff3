// `mailqueue submit` killed before each system call that changes a file: whatever it leaves, every
// mission in the queue has its whole message in the spool, and a new submit works.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "kill_at_step.h"
#include "postwell/mail_queue_db.h"
#include "spool.h"
#include "temp_dir.h"

namespace {

// The leak checker cannot work in a program run under strace.
const bool kLeakCheckOffInChildren = ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1) == 0;

TEST(SubmitPowerCut, EveryQueuedMissionHasItsWholeMessage) {
  REQUIRE_KILL_AT_STEP();
  ASSERT_TRUE(kLeakCheckOffInChildren);
  testsupport::TempDir dir;
  const std::string settings = dir.file("mailqueue.ini");
  testsupport::writeFile(settings, "[DBInfo]\nCnnStr=\n[Delivery]\nSpool=spool\n");
  const std::string message = "Subject: cut\n\n.dot\n" + std::string(30000, 'z') + "\n";
  testsupport::writeFile(dir.file("m.eml"), message);
  const std::string stored = mailqueue::toTransferForm(message);
  const std::vector<std::string> argv = {
      MAILQUEUE_PATH, "--settings",     settings, "submit",         "--from", "a@example.test",
      "--to",         "b@example.test", "--to",   "c@example.test", "--eml",  dir.file("m.eml")};

  auto check = [&](const std::string& step) {
    CMailQueueDBVistor queue;
    std::vector<tagQueuedMission> missions;
    ASSERT_EQ(queue.Initialize(nullptr, settings.c_str()), 1) << step;
    ASSERT_EQ(queue.ListMissions(missions), 1) << step;
    for (const tagQueuedMission& m : missions)
      ASSERT_EQ(testsupport::readFile(m.sMailBody), stored) << step << " " << m.sMissionID;
  };

  int runs = 0;
  for (const char* call : {"write", "fsync", "rename", "link", "unlink", "mkdir"}) {
    for (int n = 1;; ++n) {
      const testsupport::StepRun run = testsupport::RunKilledAtCall(argv, call, n);
      ++runs;
      const std::string step = std::string(call) + " #" + std::to_string(n);
      check(step);
      if (!run.killed) {
        EXPECT_EQ(run.exitCode, 0) << step;
        break;
      }
    }
  }
  EXPECT_GT(runs, 6);
}

}  // namespace
