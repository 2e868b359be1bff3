// The MX lookup when no DNS server answers, and the device's lookup without DNS servers. Answers of
// a real DNS server are tested against dnsmasq (dnsmasq/).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "mail_device_test_support.h"
#include "postwell/mx_lookup.h"

namespace {

// A UDP port on loopback that takes queries and never answers.
class SilentDnsServer {
 public:
  SilentDnsServer() {
    socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
  }
  ~SilentDnsServer() { ::close(socket_); }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int socket_ = -1;
  unsigned short port_ = 0;
};

TEST(MxLookup, ServerThatNeverAnswersFailsWithinTheTimeout) {
  SilentDnsServer silent;
  std::unique_ptr<IMXLookup> lookup = CreateMXLookup();
  lookup->SetSeparator(",");
  lookup->SetDNSServer(silent.address());
  lookup->SetSecondDNSServer("");
  lookup->SetTimeout(400);
  std::string answer = "stale", failure;
  EXPECT_EQ(lookup->QueryMX("example.test", answer, failure), 0);
  EXPECT_EQ(answer, "");
  EXPECT_FALSE(failure.empty());
}

TEST(MxLookup, ServerThatIsNotAnAddressIsAFailure) {
  std::unique_ptr<IMXLookup> lookup = CreateMXLookup();
  std::string answer, failure;
  for (const char* server : {"127.0.0.1:http", "127.0.0.1:70000", "[::1", "no-such-host.invalid"}) {
    lookup->SetDNSServer(server);
    EXPECT_EQ(lookup->QueryMX("example.test", answer, failure), 0) << server;
    EXPECT_EQ(failure, std::string("The DNS server \"") + server + "\" is not an address or a known host.");
  }
  lookup->SetDNSServer("");
  EXPECT_EQ(lookup->QueryMX("example.test", answer, failure), 0);
  EXPECT_EQ(failure, "No DNS server is given.");
}

TEST(MxLookup, DeviceWithoutDnsServersLooksNothingUp) {
  smtptest::RecordingOwner owner;
  smtptest::TestDevice device(&owner);
  std::vector<std::string> servers{"kept"};
  device.MailFunc_GetSmtpServerByDNS("bob@example.test", servers);
  EXPECT_EQ(servers, std::vector<std::string>{"kept"});
  EXPECT_TRUE(owner.notices.empty());
}

TEST(MxLookup, DeviceWhoseDnsServerIsSilentFindsNothing) {
  SilentDnsServer silent;
  smtptest::RecordingOwner owner;
  smtptest::TestDevice device(&owner);
  device.m_Setting.m_sDNSServer2 = silent.address();
  device.SetTimeout(300);
  std::vector<std::string> servers;
  device.MailFunc_GetSmtpServerByDNS("bob@example.test", servers);
  EXPECT_TRUE(servers.empty());
  EXPECT_EQ(owner.statuses(), std::vector<std::string>{"连接DNS ,查询目标主机 bob@example.test 的MX记录 ..."});
}

}  // namespace
