#include "spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace mailqueue {

namespace {

namespace fs = std::filesystem;

bool syncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// A name no other file of the spool has: seconds, process, a counter.
std::string uniqueBase() {
  static std::atomic<unsigned> counter{0};
  std::ostringstream name;
  name << std::time(nullptr) << '-' << ::getpid() << '-' << counter.fetch_add(1);
  return name.str();
}

}  // namespace

std::string toTransferForm(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 2);
  bool lineStart = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
      lineStart = true;
      continue;
    }
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = false;
  }
  if (!lineStart) out += "\r\n";
  return out;
}

bool writeFileSafely(const std::string& path, const std::string& content, std::string& why) {
  const fs::path target(path);
  const std::string temporary =
      (target.parent_path() / ("." + target.filename().string() + ".tmp")).string();
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    why = systemError("cannot write " + temporary);
    return false;
  }
  std::size_t written = 0;
  while (written < content.size()) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const bool complete = written == content.size() && ::fsync(fd) == 0;
  if (!complete) why = systemError("cannot write " + temporary);
  ::close(fd);
  if (!complete || ::rename(temporary.c_str(), path.c_str()) != 0) {
    if (complete) why = systemError("cannot rename " + temporary);
    ::unlink(temporary.c_str());
    return false;
  }
  syncDirectory(target.parent_path().empty() ? "." : target.parent_path().string());
  return true;
}

bool readWholeFile(const std::string& path, std::string& content, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = systemError("cannot read " + path);
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    why = systemError("cannot read " + path);
    return false;
  }
  content = buffer.str();
  return true;
}

bool storeInSpool(const std::string& spool, const std::string& message, std::size_t copies,
                  std::vector<std::string>& paths, std::string& why) {
  std::error_code error;
  fs::create_directories(spool, error);
  if (error) {
    why = "cannot make the spool directory " + spool + ": " + error.message();
    return false;
  }
  const std::string base = (fs::path(spool) / uniqueBase()).string();
  std::vector<std::string> made;
  const std::string first = base + ".eml";
  if (!writeFileSafely(first, message, why)) return false;
  made.push_back(first);
  for (std::size_t n = 1; n < copies; ++n) {
    const std::string link = base + "-" + std::to_string(n + 1) + ".eml";
    if (::link(first.c_str(), link.c_str()) != 0) {
      why = systemError("cannot link " + link);
      for (const std::string& path : made) ::unlink(path.c_str());
      return false;
    }
    made.push_back(link);
  }
  syncDirectory(spool);
  paths = made;
  return true;
}

void removeFromSpool(const std::string& path) {
  if (!path.empty()) ::unlink(path.c_str());
}

}  // namespace mailqueue
