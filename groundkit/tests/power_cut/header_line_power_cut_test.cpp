// Adding a header line to a message, as a process killed at any step of it leaves the message: the
// file holds either the old message or the new one, whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "kill_at_step.h"
#include "temp_dir.h"

namespace {

const bool kLeakCheckOffInChildren = ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1) == 0;

TEST(HeaderLinePowerCut, KilledAtAnyStepTheMessageIsOldOrNewWhole) {
  REQUIRE_KILL_AT_STEP();
  ASSERT_TRUE(kLeakCheckOffInChildren);
  std::string body;
  for (int line = 0; line < 2000; ++line)
    body += "Line " + std::to_string(line) + " of the body\r\n";
  const std::string before = "From: ann@corp.test\r\nSubject: Figures\r\n\r\n" + body;
  const std::string after =
      "From: ann@corp.test\r\nSubject: Figures\r\nX-Sign: vandry!\r\n\r\n" + body;

  int kills = 0;
  for (const std::string& call : testsupport::FileChangingCalls()) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE("killed entering " + call + " #" + std::to_string(n));
      testsupport::TempDir dir;
      const std::string message = dir.file("QV000000001.eml");
      testsupport::writeFile(message, before);
      const testsupport::StepRun run =
          testsupport::RunKilledAtCall({HEADER_LINE_DRIVER, message, "X-Sign", "vandry!"}, call, n);
      const std::string left = testsupport::readFile(message);
      if (!run.killed) {
        ASSERT_EQ(run.exitCode, 0);
        EXPECT_EQ(left, after);
        break;
      }
      ++kills;
      EXPECT_TRUE(left == before || left == after) << left.substr(0, 200);
    }
  }
  EXPECT_GT(kills, 0);
}

}  // namespace
