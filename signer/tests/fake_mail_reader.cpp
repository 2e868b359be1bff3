// A stand-in for the desktop's mail reader in tests: appends "open <pid> <file>" to the file named
// by SIGNER_TEST_READER_LOG, waits until it is asked to end, and then appends "end <pid> <file>".
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

volatile std::sig_atomic_t g_ending = 0;

void Note(const char* what, const char* file) {
  const char* log = std::getenv("SIGNER_TEST_READER_LOG");
  if (log == nullptr) return;
  if (std::FILE* out = std::fopen(log, "a")) {
    std::fprintf(out, "%s %ld %s\n", what, static_cast<long>(::getpid()), file);
    std::fclose(out);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  const char* file = argc > 1 ? argv[1] : "";
  sigset_t term, others;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  sigprocmask(SIG_BLOCK, &term, &others);
  std::signal(SIGTERM, [](int) { g_ending = 1; });
  Note("open", file);
  while (!g_ending) sigsuspend(&others);
  Note("end", file);
  return 0;
}
