#pragma once
// Power-cut tests: runs a program and kills it (SIGKILL) as it enters its n-th
// call of one system call, through strace's fault injection. Going through
// every call of every system call that changes files, n = 1, 2, ... until the
// program finishes, stops it once before each step it takes.

#include <cstdlib>
#include <string>
#include <vector>

namespace testsupport {

// The system calls through which a program changes files.
const std::vector<std::string> &FileChangingCalls();

// True when strace can run and inject signals here.
bool CanKillAtStep();

} // namespace testsupport

// Skips the test where strace cannot stop programs (a developer's machine
// without it); fails it in CI.
#define REQUIRE_KILL_AT_STEP()                                                 \
  do {                                                                         \
    if (!testsupport::CanKillAtStep()) {                                       \
      if (std::getenv("CI"))                                                   \
        FAIL() << "strace cannot inject signals here";                         \
      GTEST_SKIP() << "strace cannot inject signals here";                     \
    }                                                                          \
  } while (false)

namespace testsupport {

struct StepRun {
  bool killed = false; // the program was stopped before the call
  int exitCode = -1;   // its exit code when it ran to the end
};

// Runs argv (argv[0] a path or a name on PATH) and kills it as it enters its
// n-th call (from 1) of systemCall. Calls of its child processes are not
// counted.
StepRun RunKilledAtCall(const std::vector<std::string> &argv,
                        const std::string &systemCall, int n);

} // namespace testsupport
