#include "platform/append_file.h"

#include <windows.h>

#include "last_error_guard.h"
#include "platform/last_error.h"
#include "wide_text.h"

namespace platform {

bool appendToFile(const std::string& path, std::string_view bytes, bool durable) {
  const LastErrorGuard guard;
  // Appending access makes every write go to the end, so texts appended at once never mix.
  std::wstring wide;
  if (!toWide(path, wide)) return false;
  HANDLE file = ::CreateFileW(wide.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD error = ERROR_SUCCESS;
  while (!bytes.empty() && error == ERROR_SUCCESS) {
    const DWORD chunk = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr))
      error = ::GetLastError();
    else if (written == 0)
      error = ERROR_DISK_FULL;
    bytes.remove_prefix(written);
  }
  if (error == ERROR_SUCCESS && durable && !::FlushFileBuffers(file)) error = ::GetLastError();
  ::CloseHandle(file);
  if (error != ERROR_SUCCESS) {
    setLastError(error);
    return false;
  }
  return guard.succeeded(true);
}

}  // namespace platform
