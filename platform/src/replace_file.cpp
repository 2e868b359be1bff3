#include "platform/replace_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/last_error.h"

namespace platform {

namespace {

bool writeAll(int fd, std::string_view bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// A new file keeps the permissions of the one it replaces, else those the umask allows.
void takeModeOf(const std::string& path, int fd) {
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) {
    ::fchmod(fd, old.st_mode & 07777);
    return;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
}

}  // namespace

bool replaceFileContents(const std::string& path, std::string_view bytes) {
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    setLastError(errno == ENOENT ? err::kPathNotFound : fileErrorFromErrno(errno));
    return false;
  }
  takeModeOf(path, fd);
  const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
  const int writeError = errno;
  if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int failure = written ? errno : writeError;
    ::unlink(temporary.c_str());
    setLastError(fileErrorFromErrno(failure));
    return false;
  }
  return true;
}

}  // namespace platform
