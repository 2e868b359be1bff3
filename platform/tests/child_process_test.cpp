#include "platform/child_process.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "platform/clock.h"

extern char** environ;

namespace {

long spawnShell(const std::string& command) {
  std::vector<std::string> args = {"/bin/sh", "-c", command};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  EXPECT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ), 0);
  return pid;
}

unsigned long waitForExit(platform::ChildProcess& child) {
  unsigned long code = platform::kStillActive;
  for (int i = 0; i < 500 && code == platform::kStillActive; ++i) {
    EXPECT_TRUE(child.exitCode(code));
    platform::sleepMs(10);
  }
  return code;
}

TEST(ChildProcess, ExitCodeWhileRunningAndAfterwards) {
  platform::ChildProcess child(spawnShell("sleep 30; exit 3"));
  unsigned long code = 0;
  ASSERT_TRUE(child.exitCode(code));
  EXPECT_EQ(code, platform::kStillActive);
  child.terminate(0);
  ASSERT_TRUE(child.exitCode(code));
  EXPECT_EQ(code, 0u);

  platform::ChildProcess finished(spawnShell("exit 3"));
  EXPECT_EQ(waitForExit(finished), 3u);
  EXPECT_EQ(waitForExit(finished), 3u);  // still known once collected
  finished.terminate(0);
  EXPECT_EQ(waitForExit(finished), 3u);
}

TEST(ChildProcess, ForcesAProcessThatIgnoresTheRequestToEnd) {
  platform::ChildProcess child(spawnShell("trap '' TERM; while :; do sleep 0.01; done"));
  platform::sleepMs(50);  // the trap is set
  child.terminate(7, 50);
  unsigned long code = 0;
  ASSERT_TRUE(child.exitCode(code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(::waitpid(static_cast<pid_t>(child.pid()), nullptr, WNOHANG), -1);  // collected
}

}  // namespace
