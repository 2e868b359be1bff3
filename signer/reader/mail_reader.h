#pragma once

#include <memory>
#include <string>

#include "platform/child_process.h"

class QTemporaryDir;

// The desktop's mail reader, started on a read-only copy of a task's message and held, like a
// process handle, so that it can be asked about and ended. Only an application made for mail is
// taken: one that declares message/rfc822 itself, not one that opens mail only as the text it also
// is (a text editor).
class CMailReader {
 public:
  CMailReader();
  // Removes the copy; a reader that still runs is left running.
  ~CMailReader();
  CMailReader(const CMailReader&) = delete;
  CMailReader& operator=(const CMailReader&) = delete;

  // Ends the reader started before and starts the reader on a copy of the file. False when the
  // desktop has no reader for mail, the copy cannot be made or the reader cannot be started.
  bool Open(const std::string& path);
  // True once a reader has been started.
  bool HasProcess() const { return m_process != nullptr; }
  long Pid() const { return m_process ? m_process->pid() : 0; }
  // The reader's exit code, platform::kStillActive while it runs. False when it cannot be read.
  bool ExitCode(unsigned long& code);
  // Ends the reader (exit code 0) and removes its copy; nothing happens when none runs.
  void End();
  // The copy the reader was started on; empty when there is none.
  std::string CopyPath() const { return m_strCopy; }

 private:
  void RemoveCopy();

  std::unique_ptr<platform::ChildProcess> m_process;
  // A folder of its own for the copy, which only the user can enter; it goes with the copy.
  std::unique_ptr<QTemporaryDir> m_copyFolder;
  std::string m_strCopy;
};

// The process id of the desktop's mail reader started on the file, or 0 when there is none. The
// caller collects the process.
long LaunchMailReader(const std::string& path);
