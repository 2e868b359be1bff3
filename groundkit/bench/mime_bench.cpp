// mime_bench: composes a message with a 40 MB attachment and takes it apart
// again with the decoding plug-in and with the MIME walker, each step in a
// process of its own; prints each step's time and the memory it added at its
// peak (maximum resident set size less that of an idle child).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "groundkit/groundkit.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kAttachmentSize = 40u * 1024 * 1024;

long peakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Runs the step in a child; prints its time and its peak memory above an idle
// child's.
bool measure(const char* name, long idleKilobytes, const std::function<bool()>& step) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return false;
  pid_t child = fork();
  if (child == 0) {
    auto start = std::chrono::steady_clock::now();
    bool ok = step();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long peak = peakKilobytes();
    char line[128];
    int length = std::snprintf(line, sizeof line, "%d %.3f %ld\n", ok ? 1 : 0, seconds, peak);
    if (write(pipeFds[1], line, static_cast<std::size_t>(length)) < 0) _exit(2);
    _exit(0);
  }
  close(pipeFds[1]);
  char line[128] = {};
  ssize_t got = read(pipeFds[0], line, sizeof line - 1);
  close(pipeFds[0]);
  waitpid(child, nullptr, 0);
  int ok = 0;
  double seconds = 0;
  long peak = 0;
  if (got <= 0 || std::sscanf(line, "%d %lf %ld", &ok, &seconds, &peak) != 3) return false;
  std::printf("%-34s %s %7.2f s   peak +%6.1f MB (%.2f x the attachment)\n", name,
              ok ? "ok  " : "FAIL", seconds, (peak - idleKilobytes) / 1024.0,
              (peak - idleKilobytes) * 1024.0 / kAttachmentSize);
  return ok == 1;
}

}  // namespace

int main() {
  fs::path dir = fs::temp_directory_path() / ("mime_bench." + std::to_string(getpid()));
  fs::create_directories(dir / "plugin");
  fs::create_directories(dir / "walker");
  {
    std::ofstream out(dir / "big.bin", std::ios::binary);
    std::vector<char> block(1024 * 1024);
    unsigned value = 1;
    for (std::size_t written = 0; written < kAttachmentSize; written += block.size()) {
      for (char& c : block) c = static_cast<char>((value = value * 1103515245u + 12345u) >> 16);
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  const std::string message = (dir / "big.eml").string();
  long idle = 0;
  {
    // The idle child's own peak, measured the same way.
    int fds[2];
    if (pipe(fds) != 0) return 1;
    if (fork() == 0) {
      long peak = peakKilobytes();
      if (write(fds[1], &peak, sizeof peak) < 0) _exit(2);
      _exit(0);
    }
    close(fds[1]);
    if (read(fds[0], &idle, sizeof idle) != sizeof idle) return 1;
    wait(nullptr);
  }
  bool ok = measure("compose (text + 40 MB attachment)", idle, [&] {
    unsigned long error = 0;
    return BSCFEM_EncodeEmailMission(message.c_str(), "a@example.test", {"b@example.test"}, "big",
                                     "see attached", {(dir / "big.bin").string()}, error) == 1;
  });
  std::printf("message file: %.1f MB\n", fs::file_size(message) / 1048576.0);
  ok = measure("decode with the plug-in", idle,
               [&] {
                 std::vector<std::string> files;
                 unsigned long error = 0;
                 return BSCFEM_D_GetAttachFileFromEmail(message.c_str(), (dir / "plugin").c_str(),
                                                        files, error) == 1 &&
                        files.size() == 2 &&
                        fs::file_size(dir / "plugin" / "big.bin") == kAttachmentSize;
               }) &&
       ok;
  ok = measure("decode with the walker", idle,
               [&] {
                 std::vector<std::string> files;
                 unsigned long error = 0;
                 return BSCFEM_D_WalkMimeMessage(message.c_str(), (dir / "walker").c_str(), files,
                                                 error) == 1 &&
                        files.size() == 2 &&
                        fs::file_size(dir / "walker" / "big.bin") == kAttachmentSize;
               }) &&
       ok;
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
