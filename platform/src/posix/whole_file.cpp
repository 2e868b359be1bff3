#include "platform/whole_file.h"

#include <atomic>
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

namespace {

// Puts a rename in the directory on the disk, so that after a power loss the new file is there.
void syncDirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool replaceWholeFile(const std::string& path, std::string_view text) {
  static std::atomic<unsigned> sequence{0};
  std::string temp;
  int fd;
  do {
    temp = path + ".~" + std::to_string(::getpid()) + "." + std::to_string(sequence++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EEXIST);
  if (fd < 0) {
    setLastError(errno == ENOENT ? err::kPathNotFound : fileErrorFromErrno(errno));
    return false;
  }
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
  std::size_t written = 0;
  while (written < text.size()) {
    ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      setLastError(fileErrorFromErrno(e));
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    setLastError(fileErrorFromErrno(e));
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    setLastError(fileErrorFromErrno(e));
    return false;
  }
  syncDirectoryOf(path);
  return true;
}

}  // namespace platform
