#include "platform/file_attributes.h"

#include <windows.h>

#include "last_error_guard.h"
#include "platform/last_error.h"
#include "wide_text.h"

namespace platform {

namespace {

// 100-nanosecond steps from 1601 to 1970.
constexpr long long kUnixEpochIn100ns = 116444736000000000LL;

}  // namespace

std::optional<long long> fileCreationTime(const std::string& path) {
  const LastErrorGuard guard;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  std::wstring wide;
  if (!toWide(path, wide) || !::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  const long long ticks = (static_cast<long long>(data.ftCreationTime.dwHighDateTime) << 32) |
                          data.ftCreationTime.dwLowDateTime;
  return guard.succeeded(std::optional<long long>((ticks - kUnixEpochIn100ns) / 10000000LL));
}

std::optional<std::uint64_t> regularFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  std::wstring wide;
  if (!toWide(path, wide) || !::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    setLastError(err::kAccessDenied);
    return std::nullopt;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool markFolderCustomized(const std::string& path) {
  const LastErrorGuard guard;
  std::wstring wide;
  if (!toWide(path, wide)) return false;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    setLastError(err::kPathNotFound);
    return false;
  }
  return ::SetFileAttributesW(wide.c_str(), attributes | FILE_ATTRIBUTE_SYSTEM) != 0 &&
         guard.succeeded(true);
}

}  // namespace platform
