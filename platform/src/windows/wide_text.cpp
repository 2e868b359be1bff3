#include "wide_text.h"

#include <windows.h>

#include "platform/last_error.h"

namespace platform {

bool toWide(std::string_view utf8, std::wstring& wide) {
  wide.clear();
  if (utf8.empty()) return true;
  if (utf8.find('\0') != std::string_view::npos || utf8.size() > 0x7fffffff) {
    setLastError(ERROR_INVALID_NAME);
    return false;
  }
  const int length = static_cast<int>(utf8.size());
  const int needed =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (needed <= 0) {
    setLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  wide.resize(static_cast<std::size_t>(needed));
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(),
                            needed) != needed) {
    wide.clear();
    setLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  return true;
}

std::string toUtf8(std::wstring_view wide) {
  if (wide.empty() || wide.size() > 0x7fffffff) return std::string();
  const int length = static_cast<int>(wide.size());
  const int needed =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
  return utf8;
}

}  // namespace platform
