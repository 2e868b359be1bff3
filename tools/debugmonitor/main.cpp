// debugmonitor SOCKET_PATH
//
// Listens on SOCKET_PATH for the debug lines of Groundkit's BSCF_SendMessageData and prints each as
// "<first>\t<second>\t<third>\t<text>" on standard output, answering 1. Stops on SIGINT or SIGTERM
// and removes the socket. On Windows the monitor is a window; SOCKET_PATH is then a file that holds
// its handle, and a sender may be given the handle itself.

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/last_error.h"
#include "platform/local_channel.h"

namespace {

// The block a debug line travels in: the text with its terminating zero, then three integers in
// the machine's byte order.
constexpr std::size_t kTextField = 4096;
constexpr std::size_t kBlockSize = kTextField + 3 * sizeof(std::int32_t);

constexpr unsigned long kStopCheckMs = 250;

volatile std::sig_atomic_t g_stopRequested = 0;

void requestStop(int) { g_stopRequested = 1; }

std::int32_t integerAt(std::string_view block, std::size_t index) {
  std::int32_t value = 0;
  std::memcpy(&value, block.data() + kTextField + index * sizeof value, sizeof value);
  return value;
}

// The text up to its terminating zero, without the line end a trace line may carry.
std::string_view textOf(std::string_view block) {
  std::string_view text = block.substr(0, kTextField);
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::int32_t printDebugLine(std::string_view block) {
  if (block.size() != kBlockSize) return 0;
  std::string_view text = textOf(block);
  std::printf("%d\t%d\t%d\t", integerAt(block, 0), integerAt(block, 1), integerAt(block, 2));
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SOCKET_PATH\n", argv[0]);
    return 2;
  }
  std::signal(SIGINT, requestStop);
  std::signal(SIGTERM, requestStop);

  platform::LocalChannelServer server;
  if (!server.listen(argv[1])) {
    std::fprintf(stderr, "debugmonitor: cannot listen on %s (error %lu)\n", argv[1], platform::lastError());
    return 1;
  }
  while (!g_stopRequested) {
    if (!server.serve(kStopCheckMs, printDebugLine)) {
      std::fprintf(stderr, "debugmonitor: stopped by error %lu\n", platform::lastError());
      return 1;
    }
  }
  return 0;
}
