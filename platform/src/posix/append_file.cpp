#include "platform/append_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/last_error.h"

namespace platform {

namespace {

// Returns 0 or the errno value of the failed write.
int writeWhole(int fd, std::string_view bytes) {
  // A regular file takes the whole buffer in one write; the loop only matters after a signal or
  // when the disk fills.
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

}  // namespace

bool appendToFile(const std::string& path, std::string_view bytes, bool durable) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    setLastError(fileErrorFromErrno(errno));
    return false;
  }
  int error = writeWhole(fd, bytes);
  if (error == 0 && durable && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) setLastError(fileErrorFromErrno(error));
  return error == 0;
}

}  // namespace platform
