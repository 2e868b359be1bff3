#include "platform/child_process.h"

#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>

#include "platform/clock.h"

namespace platform {

ChildProcess::ChildProcess(long pid) : pid_(pid) {}

ChildProcess::~ChildProcess() { collect(false); }

bool ChildProcess::collect(bool wait) {
  if (ended_) return true;
  int status = 0;
  pid_t result;
  do {
    result = ::waitpid(static_cast<pid_t>(pid_), &status, wait ? 0 : WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result <= 0) return false;
  ended_ = true;
  if (WIFEXITED(status))
    code_ = static_cast<unsigned long>(WEXITSTATUS(status));
  else if (WIFSIGNALED(status))
    code_ = 128 + static_cast<unsigned long>(WTERMSIG(status));
  return true;
}

bool ChildProcess::exitCode(unsigned long& code) {
  if (collect(false)) {
    code = code_;
    return true;
  }
  if (::kill(static_cast<pid_t>(pid_), 0) != 0) return false;
  code = kStillActive;
  return true;
}

void ChildProcess::terminate(unsigned long exitCode, unsigned long graceMs) {
  if (collect(false)) return;
  if (::kill(static_cast<pid_t>(pid_), SIGTERM) != 0) return;
  const std::uint32_t start = tickCount();
  while (!collect(false)) {
    if (tickCount() - start >= graceMs) {
      ::kill(static_cast<pid_t>(pid_), SIGKILL);
      collect(true);
      break;
    }
    sleepMs(5);
  }
  code_ = exitCode;
}

}  // namespace platform
