#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/socket.h"

namespace {

// A loopback listener on a free port.
struct Listener {
  int fd = -1;
  std::uint16_t port = 0;
  Listener() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 4);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
  }
  ~Listener() { ::close(fd); }
  int accept() { return ::accept(fd, nullptr, nullptr); }
};

TEST(Socket, ConnectSendReceiveAndClose) {
  Listener l;
  platform::SocketHandle s = platform::tcpSocket();
  ASSERT_NE(s, platform::kInvalidSocket);
  ASSERT_TRUE(platform::connectTcp(s, "127.0.0.1", l.port));
  int peer = l.accept();
  ASSERT_GE(peer, 0);

  std::string big(300000, 'x');
  ASSERT_EQ(platform::sendAll(s, big.data(), big.size()), static_cast<long>(big.size()));
  std::size_t got = 0;
  char buf[65536];
  while (got < big.size()) {
    ssize_t n = ::recv(peer, buf, sizeof buf, 0);
    ASSERT_GT(n, 0);
    got += static_cast<std::size_t>(n);
  }

  EXPECT_EQ(platform::waitReadable(s, 50), 0);
  ASSERT_EQ(::send(peer, "+OK\r\n", 5, 0), 5);
  EXPECT_EQ(platform::waitReadable(s, 2000), 1);
  EXPECT_EQ(platform::receiveSome(s, buf, sizeof buf), 5);

  ::close(peer);
  EXPECT_EQ(platform::waitReadable(s, 2000), 1);
  EXPECT_EQ(platform::receiveSome(s, buf, sizeof buf), 0);
  platform::closeSocket(s);
}

TEST(Socket, HostNamesResolve) {
  std::uint32_t a = 0;
  ASSERT_TRUE(platform::resolveIPv4("localhost", a));
  EXPECT_EQ(ntohl(a) >> 24, 127u);
  ASSERT_TRUE(platform::resolveIPv4("10.1.2.3", a));
  EXPECT_EQ(ntohl(a), 0x0a010203u);
}

TEST(Socket, FailuresCarryWindowsSocketNumbers) {
  platform::SocketHandle s = platform::tcpSocket();
  platform::setLastError(0);
  EXPECT_FALSE(platform::connectTcp(s, "no-such-host.invalid", 25));
  EXPECT_EQ(platform::lastError(), platform::err::kWsaInvalidArgument);
  platform::closeSocket(s);

  std::uint16_t closedPort;
  {
    Listener l;
    closedPort = l.port;
  }
  s = platform::tcpSocket();
  EXPECT_FALSE(platform::connectTcp(s, "127.0.0.1", closedPort));
  EXPECT_EQ(platform::lastError(), platform::err::kWsaConnectionRefused);
  platform::closeSocket(s);
}

TEST(Socket, WaitOnClosedSocketFailsAtOnce) {
  EXPECT_EQ(platform::waitReadable(platform::kInvalidSocket, 5000), -1);
  EXPECT_EQ(platform::lastError(), platform::err::kWsaNotSocket);
}

TEST(Socket, ReceiveTimeoutGives10060) {
  Listener l;
  platform::SocketHandle s = platform::tcpSocket();
  ASSERT_TRUE(platform::setReceiveTimeout(s, 100));
  ASSERT_TRUE(platform::connectTcp(s, "127.0.0.1", l.port));
  int peer = l.accept();
  char c;
  EXPECT_EQ(platform::receiveSome(s, &c, 1), -1);
  EXPECT_EQ(platform::lastError(), platform::err::kWsaTimedOut);
  ::close(peer);
  platform::closeSocket(s);
}

TEST(Socket, SendToAPeerThatStopsReadingFailsWith10060) {
  Listener l;
  platform::SocketHandle s = platform::tcpSocket();
  ASSERT_TRUE(platform::connectTcp(s, "127.0.0.1", l.port));
  ASSERT_TRUE(platform::setSendTimeout(s, 200));
  int peer = l.accept();  // never reads
  std::string block(1 << 20, 'x');
  long sent = 0;
  for (int i = 0; i < 256 && sent >= 0; ++i) sent = platform::sendAll(s, block.data(), block.size());
  EXPECT_EQ(sent, -1);
  EXPECT_EQ(platform::lastError(), platform::err::kWsaTimedOut);
  ::close(peer);
  platform::closeSocket(s);
}

TEST(Socket, LastErrorIsPerThread) {
  platform::setLastError(10061);
  unsigned long seen = 1;
  std::thread([&] { seen = platform::lastError(); }).join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(platform::lastError(), 10061u);
}

}  // namespace
