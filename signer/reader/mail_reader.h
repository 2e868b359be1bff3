#pragma once

#include <memory>
#include <string>

#include "platform/child_process.h"

// The desktop's mail reader: the default application for "message/rfc822" files, started on a
// task's message and held, like a process handle, so that it can be asked about and ended.
class CMailReader {
 public:
  CMailReader();
  ~CMailReader();
  CMailReader(const CMailReader&) = delete;
  CMailReader& operator=(const CMailReader&) = delete;

  // Ends the reader started before and starts the reader on the file. False when the desktop has
  // no reader for mail or it cannot be started.
  bool Open(const std::string& path);
  // True once a reader has been started.
  bool HasProcess() const { return m_process != nullptr; }
  long Pid() const { return m_process ? m_process->pid() : 0; }
  // The reader's exit code, platform::kStillActive while it runs. False when it cannot be read.
  bool ExitCode(unsigned long& code);
  // Ends the reader (exit code 0); nothing happens when none runs.
  void End();

 private:
  std::unique_ptr<platform::ChildProcess> m_process;
};

// The process id of the desktop's mail reader started on the file, or 0 when there is none. The
// caller collects the process.
long LaunchMailReader(const std::string& path);
