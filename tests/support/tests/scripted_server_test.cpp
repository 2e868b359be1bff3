#include <gtest/gtest.h>

#include <string>

#include "platform/socket.h"
#include "scripted_server.h"

namespace {

std::string receiveAll(platform::SocketHandle s) {
  std::string all;
  char buf[256];
  long n;
  while ((n = platform::receiveSome(s, buf, sizeof buf)) > 0) all.append(buf, static_cast<std::size_t>(n));
  return all;
}

TEST(ScriptedServer, PlaysScriptAndRecordsWhatTheClientSent) {
  testsupport::ScriptedServer server;
  server.connection()
      .send("+OK hello\r\n")
      .expect("USER a")
      .sendInPieces("+OK go on\r\n", 1)
      .expectPrefix("PASS ")
      .expect("QUIT")
      .close();
  server.start();

  platform::SocketHandle s = platform::tcpSocket();
  ASSERT_TRUE(platform::connectTcp(s, "127.0.0.1", server.port()));
  std::string lines = "USER a\r\nPASS secret\r\nQUIT\r\n";
  platform::sendAll(s, lines.data(), lines.size());
  EXPECT_EQ(receiveAll(s), "+OK hello\r\n+OK go on\r\n");
  platform::closeSocket(s);

  ASSERT_TRUE(server.waitDone());
  EXPECT_TRUE(server.mismatches().empty());
  EXPECT_EQ(server.received(), lines);
}

TEST(ScriptedServer, ReportsUnexpectedLines) {
  testsupport::ScriptedServer server;
  server.connection().expect("STAT").close();
  server.start();
  platform::SocketHandle s = platform::tcpSocket();
  ASSERT_TRUE(platform::connectTcp(s, "127.0.0.1", server.port()));
  platform::sendAll(s, "LIST\r\n", 6);
  ASSERT_TRUE(server.waitDone());
  platform::closeSocket(s);
  ASSERT_EQ(server.mismatches().size(), 1u);
  EXPECT_EQ(server.mismatches()[0], "expected \"STAT\", got \"LIST\"");
}

}  // namespace
