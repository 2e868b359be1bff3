#include "platform/whole_file.h"

#include <windows.h>

#include <atomic>

#include "last_error_guard.h"
#include "platform/last_error.h"
#include "wide_text.h"

namespace platform {

namespace {

// Readers let writers replace the file meanwhile, as they may on every other system.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool writeAll(HANDLE file, std::string_view text) {
  while (!text.empty()) {
    const DWORD chunk = text.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(text.size());
    DWORD written = 0;
    if (!::WriteFile(file, text.data(), chunk, &written, nullptr)) return false;
    if (written == 0) {
      setLastError(ERROR_DISK_FULL);
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

}  // namespace

bool readWholeFile(const std::string& path, std::string& contents) {
  const LastErrorGuard guard;
  // Opening a directory as a file fails with 5, as the callers expect.
  std::wstring wide;
  if (!toWide(path, wide)) return false;
  HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string text;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
      const DWORD error = ::GetLastError();
      ::CloseHandle(file);
      setLastError(error);
      return false;
    }
    if (n == 0) break;
    text.append(buffer, n);
  }
  ::CloseHandle(file);
  contents = std::move(text);
  return guard.succeeded(true);
}

bool replaceWholeFile(const std::string& path, std::string_view text) {
  const LastErrorGuard guard;
  static std::atomic<unsigned> sequence{0};
  std::wstring target;
  if (!toWide(path, target)) return false;
  std::wstring temp;
  HANDLE file;
  do {
    temp = target + L".~" + std::to_wstring(::GetCurrentProcessId()) + L"." +
           std::to_wstring(sequence++);
    file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  } while (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (!writeAll(file, text) || !::FlushFileBuffers(file)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    ::DeleteFileW(temp.c_str());
    setLastError(error);
    return false;
  }
  ::CloseHandle(file);
  if (!::MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(temp.c_str());
    setLastError(error);
    return false;
  }
  return guard.succeeded(true);
}

}  // namespace platform
