#include "platform/new_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "last_error_guard.h"
#include "wide_text.h"

namespace platform {

// The C library's exclusive mode ("x") is not in every Windows runtime, so the file is created by
// the system and handed to the C library afterwards.
std::FILE* createNewFile(const std::string& path) {
  const LastErrorGuard guard;
  std::wstring wide;
  if (!toWide(path, wide)) return nullptr;
  HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int descriptor =
      ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (descriptor < 0) {
    ::CloseHandle(handle);
    ::SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  std::FILE* file = ::_fdopen(descriptor, "wb");
  if (file == nullptr) {
    ::_close(descriptor);
    ::SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  return guard.succeeded(file);
}

}  // namespace platform
