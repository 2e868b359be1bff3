#include "platform/native_path.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>

#include "platform/last_error.h"
#include "wide_text.h"

namespace platform {

std::filesystem::path nativePath(const std::string& path) {
  std::wstring wide;
  if (!toWide(path, wide)) return std::filesystem::path();
  return std::filesystem::path(std::move(wide));
}

std::string pathText(const std::filesystem::path& path) { return toUtf8(path.native()); }

std::FILE* openFile(const std::string& path, const char* mode) {
  std::wstring widePath;
  std::wstring wideMode;
  if (mode == nullptr || !toWide(path, widePath) || !toWide(mode, wideMode)) {
    errno = EILSEQ;
    return nullptr;
  }
  return ::_wfopen(widePath.c_str(), wideMode.c_str());
}

bool removeFile(const std::string& path) {
  const DWORD saved = ::GetLastError();
  std::wstring wide;
  const bool removed = toWide(path, wide) && ::_wremove(wide.c_str()) == 0;
  ::SetLastError(saved);
  return removed;
}

}  // namespace platform
