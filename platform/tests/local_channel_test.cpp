#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/last_error.h"
#include "platform/local_channel.h"
#include "temp_dir.h"

namespace {

using platform::LocalChannelServer;
using testsupport::TempDir;

constexpr unsigned long kGenerousTimeoutMs = 10000;

// A server serving on its own thread; every message is recorded and answered with its length.
class RunningServer {
 public:
  explicit RunningServer(const std::string& path) {
    listening_ = server_.listen(path);
    if (listening_) thread_ = std::thread([this] { run(); });
  }
  ~RunningServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool listening() const { return listening_; }
  std::vector<std::string> messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  void run() {
    while (!stop_) {
      server_.serve(20, [this](std::string_view message) {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.emplace_back(message);
        return static_cast<std::int32_t>(message.size());
      });
    }
  }

  LocalChannelServer server_;
  bool listening_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> messages_;
};

// Calls the server with the text and gives the answer, or -1 when the call failed.
std::int32_t call(const std::string& path, const std::string& text, unsigned long timeoutMs = kGenerousTimeoutMs) {
  std::int32_t answer = -1;
  if (!platform::localChannelCall(path, text.data(), text.size(), answer, timeoutMs)) return -1;
  return answer;
}

// A socket file that nobody listens on, as a crashed server leaves it.
void leaveStaleSocket(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

TEST(LocalChannel, MessagesArriveWholeAndGetTheirAnswers) {
  TempDir dir;
  RunningServer server(dir.file("monitor.sock"));
  ASSERT_TRUE(server.listening());

  const std::vector<std::string> sent{"x", std::string(4108, 'a') + std::string("\0tail", 5), std::string(60000, 'b')};
  for (const std::string& message : sent) EXPECT_EQ(call(dir.file("monitor.sock"), message), static_cast<std::int32_t>(message.size()));
  EXPECT_EQ(server.messages(), sent);
}

TEST(LocalChannel, ServesSeveralClientsAtOnce) {
  TempDir dir;
  RunningServer server(dir.file("monitor.sock"));
  ASSERT_TRUE(server.listening());

  std::atomic<int> wrongAnswers{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; i < 25; ++i) {
        std::string message(static_cast<std::size_t>(1 + c * 100 + i), 'm');
        if (call(dir.file("monitor.sock"), message) != static_cast<std::int32_t>(message.size())) ++wrongAnswers;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(wrongAnswers, 0);
  EXPECT_EQ(server.messages().size(), 100u);
}

TEST(LocalChannel, UnreachableEndpointsFailWithTheirErrors) {
  TempDir dir;
  leaveStaleSocket(dir.file("stale.sock"));
  testsupport::writeFile(dir.file("plain.txt"), "not a socket");
  struct Case {
    std::string path;
    unsigned long error;
  };
  const std::vector<Case> cases{{dir.file("missing.sock"), platform::err::kWsaConnectionRefused},
                                {dir.file("stale.sock"), platform::err::kWsaConnectionRefused},
                                {dir.file("plain.txt"), platform::err::kWsaConnectionRefused},
                                {"", platform::err::kWsaInvalidArgument},
                                {dir.file(std::string(200, 'n')), platform::err::kWsaInvalidArgument}};
  for (const Case& c : cases) {
    platform::setLastError(0);
    EXPECT_EQ(call(c.path, "line"), -1) << c.path;
    EXPECT_EQ(platform::lastError(), c.error) << c.path;
  }
}

TEST(LocalChannel, ServerThatNeverAnswersTimesOut) {
  TempDir dir;
  LocalChannelServer hung;  // listens, but nobody serves
  ASSERT_TRUE(hung.listen(dir.file("hung.sock")));

  EXPECT_EQ(call(dir.file("hung.sock"), "line", 200), -1);
  EXPECT_EQ(platform::lastError(), platform::err::kWsaTimedOut);
}

TEST(LocalChannel, ServerClosingBeforeItAnswersFailsTheCall) {
  TempDir dir;
  LocalChannelServer server;
  ASSERT_TRUE(server.listen(dir.file("closing.sock")));

  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.close();
  });
  EXPECT_EQ(call(dir.file("closing.sock"), "line"), -1);
  closer.join();
  EXPECT_NE(platform::lastError(), platform::err::kWsaTimedOut);
}

TEST(LocalChannel, ListenReplacesOnlyAStaleSocket) {
  TempDir dir;
  leaveStaleSocket(dir.file("stale.sock"));
  RunningServer replacing(dir.file("stale.sock"));
  EXPECT_TRUE(replacing.listening());
  EXPECT_EQ(call(dir.file("stale.sock"), "abc"), 3);

  LocalChannelServer second;
  EXPECT_FALSE(second.listen(dir.file("stale.sock")));  // a live server keeps its path
  EXPECT_EQ(platform::lastError(), platform::err::kWsaAddressInUse);
  EXPECT_EQ(call(dir.file("stale.sock"), "abcd"), 4);

  testsupport::writeFile(dir.file("plain.txt"), "keep me");
  EXPECT_FALSE(second.listen(dir.file("plain.txt")));
  EXPECT_EQ(testsupport::readFile(dir.file("plain.txt")), "keep me");
}

TEST(LocalChannel, CloseRemovesTheSocketPath) {
  TempDir dir;
  {
    LocalChannelServer server;
    ASSERT_TRUE(server.listen(dir.file("gone.sock")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("gone.sock")));
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("gone.sock")));
}

}  // namespace
