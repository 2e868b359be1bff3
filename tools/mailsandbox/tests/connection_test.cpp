// Lines over a real loopback connection: split across packets, several in one, overlong, silent.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "connection.h"
#include "platform/socket.h"
#include "platform/tcp_listener.h"

namespace mailsandbox::test {
namespace {

// Answers every line with "got <line>" and ends on "bye".
class EchoSession : public LineSession {
 public:
  std::string greeting() override { return "hello\r\n"; }
  std::string onLine(std::string_view line) override {
    lines.emplace_back(line);
    finished_ = line == "bye\r\n";
    return "got " + std::string(line);
  }
  std::string onLineTooLong() override { return "too long\r\n"; }
  bool finished() const override { return finished_; }

  std::vector<std::string> lines;

 private:
  bool finished_ = false;
};

class ConnectionTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(listener.listenLoopback(0));
    client = platform::tcpSocket();
    ASSERT_TRUE(platform::connectTcp(client, "127.0.0.1", listener.port()));
    server = listener.accept(2000);
    ASSERT_NE(server, platform::kInvalidSocket);
  }
  void TearDown() override {
    if (runner.joinable()) runner.join();
    platform::closeSocket(server);
    platform::closeSocket(client);
  }

  void run(unsigned long idleTimeoutMs = 60000) {
    runner =
        std::thread([this, idleTimeoutMs] { end = runConnection(server, session, stopping, idleTimeoutMs); });
  }
  void send(const std::string& bytes) {
    ASSERT_EQ(platform::sendAll(client, bytes.data(), bytes.size()), static_cast<long>(bytes.size()));
  }
  // The greeting, read so that closing the client sends an orderly end rather than a reset for
  // unread data.
  void receiveGreeting() {
    std::string received;
    char buffer[64];
    while (received.size() < 7 && platform::waitReadable(client, 2000) > 0) {
      const long count = platform::receiveSome(client, buffer, sizeof buffer);
      if (count <= 0) break;
      received.append(buffer, static_cast<std::size_t>(count));
    }
    ASSERT_EQ(received, "hello\r\n");
  }
  // Everything the server sends until it closes the connection.
  std::string receiveAll() {
    std::string received;
    char buffer[4096];
    while (platform::waitReadable(client, 5000) == 1) {
      long count = platform::receiveSome(client, buffer, sizeof buffer);
      if (count <= 0) break;
      received.append(buffer, static_cast<std::size_t>(count));
    }
    return received;
  }

  platform::TcpListener listener;
  platform::SocketHandle client = platform::kInvalidSocket;
  platform::SocketHandle server = platform::kInvalidSocket;
  EchoSession session;
  std::atomic<bool> stopping{false};
  ConnectionEnd end = ConnectionEnd::kSocketError;
  std::thread runner;
};

TEST_F(ConnectionTest, LinesInPiecesAndSeveralAtOnce) {
  run();
  send("EH");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  send("LO x\r");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  send("\nNOOP\nDATA\r\nbye\r\nafter\r\n");
  runner.join();
  platform::closeSocket(server);
  server = platform::kInvalidSocket;
  EXPECT_EQ(receiveAll(), "hello\r\ngot EHLO x\r\ngot NOOP\ngot DATA\r\ngot bye\r\n");
  EXPECT_EQ(end, ConnectionEnd::kSessionFinished);
  EXPECT_EQ(session.lines.size(), 4u) << "nothing after the session ended";
}

TEST_F(ConnectionTest, OverlongLineIsAnsweredAndEndsTheConnection) {
  run();
  send(std::string(kMaxLineBytes + 1, 'x'));
  runner.join();
  platform::closeSocket(server);
  server = platform::kInvalidSocket;
  EXPECT_EQ(receiveAll(), "hello\r\ntoo long\r\n");
  EXPECT_EQ(end, ConnectionEnd::kLineTooLong);
}

TEST_F(ConnectionTest, SilenceEndsAfterTheIdleTimeAndStoppingEndsAtOnce) {
  run(300);
  runner.join();
  EXPECT_EQ(end, ConnectionEnd::kIdle);

  run();
  stopping = true;
  runner.join();
  EXPECT_EQ(end, ConnectionEnd::kStopped);
}

TEST_F(ConnectionTest, ClientThatLeavesEndsTheConnection) {
  run();
  receiveGreeting();
  send("partial line without end");
  platform::closeSocket(client);
  client = platform::kInvalidSocket;
  runner.join();
  EXPECT_EQ(end, ConnectionEnd::kPeerClosed);
  EXPECT_TRUE(session.lines.empty());
}

}  // namespace
}  // namespace mailsandbox::test
