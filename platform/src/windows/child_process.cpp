#include "platform/child_process.h"

#include <windows.h>

namespace platform {

ChildProcess::ChildProcess(long pid) : pid_(pid) {
  handle_ = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE,
                          FALSE, static_cast<DWORD>(pid));
}

ChildProcess::~ChildProcess() {
  if (handle_) ::CloseHandle(static_cast<HANDLE>(handle_));
}

bool ChildProcess::collect(bool wait) {
  if (ended_) return true;
  if (handle_ == nullptr) return false;
  if (::WaitForSingleObject(static_cast<HANDLE>(handle_), wait ? INFINITE : 0) != WAIT_OBJECT_0)
    return false;
  DWORD code = 0;
  ::GetExitCodeProcess(static_cast<HANDLE>(handle_), &code);
  code_ = code;
  ended_ = true;
  return true;
}

bool ChildProcess::exitCode(unsigned long& code) {
  if (collect(false)) {
    code = code_;
    return true;
  }
  if (handle_ == nullptr) return false;
  code = kStillActive;
  return true;
}

// A Windows process has no request to end that every program hears, so it is ended at once.
void ChildProcess::terminate(unsigned long exitCode, unsigned long graceMs) {
  if (collect(false) || handle_ == nullptr) return;
  if (!::TerminateProcess(static_cast<HANDLE>(handle_), static_cast<UINT>(exitCode))) return;
  ::WaitForSingleObject(static_cast<HANDLE>(handle_), graceMs > 5000 ? graceMs : 5000);
  ended_ = true;
  code_ = exitCode;
}

}  // namespace platform
