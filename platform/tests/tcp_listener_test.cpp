#include <gtest/gtest.h>

#include <string>

#include "platform/last_error.h"
#include "platform/socket.h"
#include "platform/tcp_listener.h"

namespace {

TEST(TcpListener, AcceptsLoopbackClientOnPickedPort) {
  platform::TcpListener listener;
  ASSERT_TRUE(listener.listenLoopback(0));
  ASSERT_NE(listener.port(), 0);

  platform::SocketHandle client = platform::tcpSocket();
  ASSERT_TRUE(platform::connectTcp(client, "127.0.0.1", listener.port()));
  platform::SocketHandle server = listener.accept(2000);
  ASSERT_NE(server, platform::kInvalidSocket);

  ASSERT_EQ(platform::sendAll(server, "220 hi\r\n", 8), 8);
  char buffer[16];
  ASSERT_EQ(platform::waitReadable(client, 2000), 1);
  EXPECT_EQ(std::string(buffer, platform::receiveSome(client, buffer, sizeof buffer)), "220 hi\r\n");
  platform::closeSocket(server);
  platform::closeSocket(client);
}

TEST(TcpListener, AcceptTimesOutWith10060) {
  platform::TcpListener listener;
  ASSERT_TRUE(listener.listenLoopback(0));
  EXPECT_EQ(listener.accept(50), platform::kInvalidSocket);
  EXPECT_EQ(platform::lastError(), platform::err::kWsaTimedOut);
}

TEST(TcpListener, TakenPortFailsWith10048) {
  platform::TcpListener first;
  ASSERT_TRUE(first.listenLoopback(0));
  platform::TcpListener second;
  EXPECT_FALSE(second.listenLoopback(first.port()));
  EXPECT_EQ(platform::lastError(), platform::err::kWsaAddressInUse);
  EXPECT_EQ(second.port(), 0);
}

TEST(TcpListener, ClosedListenerRefusesAndFailsAtOnce) {
  platform::TcpListener listener;
  ASSERT_TRUE(listener.listenLoopback(0));
  std::uint16_t port = listener.port();
  listener.close();
  EXPECT_EQ(listener.accept(5000), platform::kInvalidSocket);
  EXPECT_EQ(platform::lastError(), platform::err::kWsaNotSocket);

  platform::SocketHandle client = platform::tcpSocket();
  EXPECT_FALSE(platform::connectTcp(client, "127.0.0.1", port));
  EXPECT_EQ(platform::lastError(), platform::err::kWsaConnectionRefused);
  platform::closeSocket(client);
}

}  // namespace
