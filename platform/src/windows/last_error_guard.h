#pragma once
// Win32 calls may leave a last error behind when they succeed (ERROR_ALREADY_EXISTS after opening
// a file that exists, ERROR_NO_MORE_FILES at the end of a search). The platform's calls change the
// thread's last error only when they fail, so a call keeps the value it found unless it fails.

#include <windows.h>

namespace platform {

class LastErrorGuard {
 public:
  LastErrorGuard() : saved_(::GetLastError()) {}
  // For the success path: restores the value found on entry and passes the result on.
  template <class T>
  T succeeded(T result) const {
    ::SetLastError(saved_);
    return result;
  }

 private:
  DWORD saved_;
};

}  // namespace platform
