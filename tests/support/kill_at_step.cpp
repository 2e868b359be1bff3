#include "kill_at_step.h"

#include <sys/wait.h>

#include <csignal>
#include <cstdlib>

namespace testsupport {
namespace {

std::string Quoted(const std::string &text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

constexpr int kKilled = 128 + SIGKILL;

// The status of a finished command as a shell gives it: its exit code, or 128 +
// the signal that ended it (strace ends itself with the signal that ended the
// traced program).
int ExitCode(int status) {
  if (status == -1)
    return -1;
  if (WIFSIGNALED(status))
    return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Run(const std::string &command) {
  return ExitCode(std::system(command.c_str()));
}

} // namespace

const std::vector<std::string> &FileChangingCalls() {
  static const std::vector<std::string> calls = {
      "openat", "write",    "fsync",     "fdatasync", "ftruncate",
      "rename", "renameat", "renameat2", "link",      "linkat",
      "unlink", "unlinkat", "mkdir",     "mkdirat"};
  return calls;
}

bool CanKillAtStep() {
  return Run("strace -qq -o /dev/null -e trace=exit_group -e "
             "inject=exit_group:signal=KILL "
             "true >/dev/null 2>&1") == kKilled;
}

StepRun RunKilledAtCall(const std::vector<std::string> &argv,
                        const std::string &systemCall, int n) {
  std::string command = "exec strace -qq -o /dev/null -e trace=" + systemCall +
                        " -e inject=" + systemCall +
                        ":signal=KILL:when=" + std::to_string(n);
  for (const std::string &argument : argv)
    command += " " + Quoted(argument);
  const int code = Run(command + " </dev/null");
  StepRun run;
  if (code == kKilled)
    run.killed = true;
  else
    run.exitCode = code;
  return run;
}

} // namespace testsupport
