#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "file_lock.h"
#include "platform/last_error.h"

namespace platform::detail {

// Opens and locks the directory: it stays in place while its files are replaced, and a lock
// that a dead writer held is gone with it.
bool lockDirectory(const std::string& directory, std::intptr_t& lock) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    setLastError(errno == ENOENT ? err::kPathNotFound : fileErrorFromErrno(errno));
    return false;
  }
  int locked;
  do locked = ::flock(fd, LOCK_EX);
  while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    setLastError(fileErrorFromErrno(errno));
    ::close(fd);
    return false;
  }
  lock = fd;
  return true;
}

void unlockDirectory(std::intptr_t lock) { ::close(static_cast<int>(lock)); }

}  // namespace platform::detail
