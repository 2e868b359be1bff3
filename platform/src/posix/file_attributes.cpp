#include "platform/file_attributes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/last_error.h"

namespace platform {

std::optional<long long> fileCreationTime(const std::string& path) {
  struct statx status {};
  if (::statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BTIME | STATX_CTIME, &status) ==
      0) {
    if (status.stx_mask & STATX_BTIME) return static_cast<long long>(status.stx_btime.tv_sec);
    return static_cast<long long>(status.stx_ctime.tv_sec);
  }
  if (errno != ENOSYS) {
    setLastError(fileErrorFromErrno(errno));
    return std::nullopt;
  }
  // A kernel without statx.
  struct stat plain {};
  if (::stat(path.c_str(), &plain) != 0) {
    setLastError(fileErrorFromErrno(errno));
    return std::nullopt;
  }
  return static_cast<long long>(plain.st_ctim.tv_sec);
}

std::optional<std::uint64_t> regularFileSize(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    setLastError(fileErrorFromErrno(errno));
    return std::nullopt;
  }
  if (!S_ISREG(status.st_mode)) {
    setLastError(err::kAccessDenied);
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(status.st_size);
}

bool markFolderCustomized(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    setLastError(fileErrorFromErrno(errno));
    return false;
  }
  if (!S_ISDIR(status.st_mode)) {
    setLastError(err::kPathNotFound);
    return false;
  }
  return true;
}

}  // namespace platform
