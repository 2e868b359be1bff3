#include "platform/whole_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/last_error.h"

namespace platform {

bool readWholeFile(const std::string& path, std::string& contents) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    setLastError(fileErrorFromErrno(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    // Windows refuses to open a directory as a file.
    ::close(fd);
    setLastError(err::kAccessDenied);
    return false;
  }
  std::string text;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      setLastError(fileErrorFromErrno(e));
      return false;
    }
    text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  contents = std::move(text);
  return true;
}

}  // namespace platform
