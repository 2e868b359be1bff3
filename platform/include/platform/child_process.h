#pragma once
// A program started by this process, held like a Windows process handle: its exit code can be read
// while it runs and after it has ended, and it can be ended.

#include "platform/export.h"

namespace platform {

// The exit code read while the process still runs (Windows' STILL_ACTIVE).
inline constexpr unsigned long kStillActive = 259;

class PLATFORM_API ChildProcess {
 public:
  // A child of this process that nobody else waits for.
  explicit ChildProcess(long pid);
  // Collects the process if it has ended; a running process is left running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  long pid() const { return pid_; }
  // kStillActive while the process runs, then its exit code (128 + the signal for one that a
  // signal ended). False when the process cannot be looked at.
  bool exitCode(unsigned long& code);
  // Asks the process to end, forces it after graceMs and collects it; its exit code becomes
  // exitCode. Nothing happens to a process that has already ended.
  void terminate(unsigned long exitCode, unsigned long graceMs = 100);

 private:
  // True once the process has ended and been collected; blocks when wait is set.
  bool collect(bool wait);

  long pid_;
  // The Windows backend's process handle, which keeps the exit code readable after the end.
  void* handle_ = nullptr;
  bool ended_ = false;
  unsigned long code_ = 0;
};

}  // namespace platform
