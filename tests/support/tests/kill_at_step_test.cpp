#include "kill_at_step.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "temp_dir.h"

namespace {

using testsupport::RunKilledAtCall;
using testsupport::TempDir;

// A shell that writes a file and then renames it, killed before each of its
// renames.
TEST(KillAtStep, StopsTheProgramBeforeTheNthCallAndNotAfterItsLast) {
  REQUIRE_KILL_AT_STEP();
  TempDir dir;
  const std::string first = dir.file("first");
  const std::string second = dir.file("second");
  const std::vector<std::string> argv = {
      "python3", "-c",
      "import os,sys; open(sys.argv[1],'w').write('x'); os.rename(sys.argv[1], "
      "sys.argv[2])",
      first, second};

  const testsupport::StepRun killed = RunKilledAtCall(argv, "rename", 1);
  EXPECT_TRUE(killed.killed);
  EXPECT_TRUE(platform::fileExists(first));
  EXPECT_FALSE(platform::fileExists(second));

  const testsupport::StepRun finished = RunKilledAtCall(argv, "rename", 2);
  EXPECT_FALSE(finished.killed);
  EXPECT_EQ(finished.exitCode, 0);
  EXPECT_TRUE(platform::fileExists(second));
}

} // namespace
