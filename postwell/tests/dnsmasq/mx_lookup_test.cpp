// The MX lookup and the device's exchanger lookup against a private dnsmasq (scripts/peers/
// dnsmasq.sh), whose zone gives example.test three exchangers and nomx.test none.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../mail_device_test_support.h"
#include "postwell/mx_lookup.h"
#include "temp_dir.h"
#include "test_peer.h"

namespace {

// A loopback UDP port that nothing listens on.
unsigned short closedUdpPort() {
  const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t length = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
  ::close(s);
  return ntohs(a.sin_port);
}

class Dnsmasq : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    testsupport::RunningPeer dnsmasq;
    if (!testsupport::findPeer("dnsmasq", dnsmasq, why)) SKIP_OR_FAIL_WITHOUT_PEER(why);
    server = "127.0.0.1:" + std::to_string(dnsmasq.port);
  }

  std::string query(const std::string& domain, const std::string& first, const std::string& second = "",
                    const std::string& separator = ",") {
    std::unique_ptr<IMXLookup> lookup = CreateMXLookup();
    lookup->SetSeparator(separator);
    lookup->SetDNSServer(first);
    lookup->SetSecondDNSServer(second);
    lookup->SetTimeout(5000);
    std::string answer, failure;
    EXPECT_EQ(lookup->QueryMX(domain, answer, failure), 1) << failure;
    return answer;
  }

  std::string server;
};

TEST_F(Dnsmasq, ExchangersComeInOrderOfPreference) {
  EXPECT_EQ(query("example.test", server), "backup.example.test,mx1.example.test,mx2.example.test");
  EXPECT_EQ(query("example.test", server, "", ";"), "backup.example.test;mx1.example.test;mx2.example.test");
}

TEST_F(Dnsmasq, DomainWithoutExchangersGivesAnEmptyAnswer) {
  EXPECT_EQ(query("nomx.test", server), "");
  EXPECT_EQ(query("nosuch.test", server), "");
}

TEST_F(Dnsmasq, SecondServerAnswersWhenTheFirstDoesNot) {
  EXPECT_EQ(query("example.test", "127.0.0.1:" + std::to_string(closedUdpPort()), server),
            "backup.example.test,mx1.example.test,mx2.example.test");
}

TEST_F(Dnsmasq, DeviceAppendsTheExchangersOfTheRecipientsDomain) {
  smtptest::RecordingOwner owner;
  smtptest::TestDevice device(&owner);
  device.m_Setting.m_sDNSServer1 = server;
  std::vector<std::string> servers{"first"};
  device.MailFunc_GetSmtpServerByDNS("\"Bob\" <bob@example.test>", servers);
  EXPECT_EQ(servers, (std::vector<std::string>{"first", "backup.example.test", "mx1.example.test", "mx2.example.test"}));
  EXPECT_EQ(owner.statuses(), std::vector<std::string>{"连接DNS " + server +
                                                       ",查询目标主机 \"Bob\" <bob@example.test> 的MX记录 ..."});

  std::vector<std::string> none;
  device.MailFunc_GetSmtpServerByDNS("nomx.test", none);
  EXPECT_TRUE(none.empty());
}

}  // namespace
