// Automatic routes against a private dnsmasq (scripts/peers/dnsmasq.sh): route.test has the
// exchangers 127.0.0.2 and 127.0.0.3, in that order, and scripted SMTP servers listen on port 25 of
// those addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../mail_device_test_support.h"
#include "platform/sync.h"
#include "postwell/dns_device.h"
#include "temp_dir.h"
#include "test_peer.h"
#include "tls_fixture.h"

namespace {

using testsupport::ScriptedServer;

struct CollectingSink : IDeviceException {
  void OnDeviceException(tagDeviceException* record) override {
    reports.push_back(std::string(record->szSource) + ": " + record->szDescription);
  }
  std::vector<std::string> reports;
};

// Asks the test's dnsmasq instead of the host's DNS servers.
class TestResolver : public CDNSDevice {
 public:
  explicit TestResolver(std::string server) : server_(std::move(server)) {}
  std::string GetDNSServer() override { return server_; }

 private:
  std::string server_;
};

class SendingDevice : public CMailDevice {
 public:
  bool waitIdle() { return m_evIdle->wait(20000); }
  void join() {
    if (m_hSendThread.joinable()) m_hSendThread.join();
  }
};

class DnsmasqRoute : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    testsupport::RunningPeer dnsmasq;
    if (!testsupport::findPeer("dnsmasq", dnsmasq, why)) SKIP_OR_FAIL_WITHOUT_PEER(why);
    dns = "127.0.0.1:" + std::to_string(dnsmasq.port);
    settings = temp.file("route.ini");
    testsupport::writeFile(
        settings,
        "[route.test]\nAUTOGETSMTPSERVER=yes\nSMTPSERVER=fallback.test\nSMTPPORT=587\n"
        "AUTHCHECK=YES\nAUTHLOGINNAME=user\nMODIMAILERFROMBY=bounce@corp.test\n"
        "[nomx.test]\nAUTOGETSMTPSERVER=yes\nSMTPSERVER=fallback.test\nSMTPPORT=587\n");
  }

  // A scripted SMTP server on port 25 of the address; the test fails when the port is taken.
  std::unique_ptr<ScriptedServer> exchanger(const std::string& address) {
    try {
      return std::make_unique<ScriptedServer>(address, 25);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what() << " (port 25 needs root and no mail server on the host's port 25)";
      return nullptr;
    }
  }

  tagSTMPServer lookUp(const char* project, unsigned long timeoutMs = 5000) {
    TestResolver resolver(dns);
    resolver.Initialize(&sink, settings.c_str());
    resolver.SetLookupTimeout(timeoutMs);
    tagSTMPServer route;
    std::memset(&route, 0, sizeof route);
    EXPECT_EQ(resolver.GetSMTPServerConfig(project, route), 1);
    return route;
  }

  testsupport::TempDir temp;
  std::string dns;
  std::string settings;
  CollectingSink sink;
};

TEST_F(DnsmasqRoute, FirstAnsweringExchangerWins) {
  auto first = exchanger("127.0.0.2");
  auto second = exchanger("127.0.0.3");
  ASSERT_TRUE(first && second);
  smtptest::quit(smtptest::greetAndHelo(first->connection()));
  first->start();
  second->start();

  const tagSTMPServer route = lookUp("route.test");
  EXPECT_STREQ(route.szSMTPServer, "127.0.0.2");
  EXPECT_EQ(route.nSMTPPort, 25);
  EXPECT_EQ(route.bAuthCheck, 0);
  EXPECT_STREQ(route.szAuthLoginName, "user");
  EXPECT_STREQ(route.szModiMailerFromBy, "bounce@corp.test");
  EXPECT_TRUE(first->waitDone());
  EXPECT_TRUE(first->mismatches().empty());
  EXPECT_EQ(second->accepted(), 0);
  EXPECT_TRUE(sink.reports.empty());
}

TEST_F(DnsmasqRoute, SilentExchangerIsSkippedWithinTheTimeout) {
  auto first = exchanger("127.0.0.2");
  auto second = exchanger("127.0.0.3");
  ASSERT_TRUE(first && second);
  first->connection().silence();
  smtptest::quit(smtptest::greetAndHelo(second->connection()));
  first->start();
  second->start();

  const tagSTMPServer route = lookUp("route.test", 1000);
  EXPECT_STREQ(route.szSMTPServer, "127.0.0.3");
  EXPECT_EQ(route.nSMTPPort, 25);
  EXPECT_EQ(sink.reports,
            std::vector<std::string>{
                "CDNSDevice::IsLegalEcho: Can not get legel echo from 127.0.0.2.(4896)"});
  EXPECT_TRUE(second->waitDone());
}

TEST_F(DnsmasqRoute, WithoutAnsweringExchangerTheSectionStays) {
  struct Case {
    const char* project;
    std::vector<std::string> reports;
  };
  const Case cases[] = {
      // Nothing listens on port 25 of either exchanger.
      {"route.test",
       {"CDNSDevice::IsLegalEcho: Can not get legel echo from 127.0.0.2.(10061)",
        "CDNSDevice::IsLegalEcho: Can not get legel echo from 127.0.0.3.(10061)"}},
      // No exchanger at all: one empty candidate, which fails its echo test.
      {"nomx.test", {"CDNSDevice::IsLegalEcho: Can not get legel echo from .(10022)"}},
  };
  for (const Case& c : cases) {
    sink.reports.clear();
    const tagSTMPServer route = lookUp(c.project);
    EXPECT_STREQ(route.szSMTPServer, "fallback.test") << c.project;
    EXPECT_EQ(route.nSMTPPort, 587) << c.project;
    EXPECT_EQ(sink.reports, c.reports) << c.project;
  }
}

// A project that asks for STARTTLS takes only an exchanger that offers it and passes the handshake.
TEST_F(DnsmasqRoute, EchoTestFollowsTheProjectsSecurity) {
  const testsupport::TestCertificates certs = testsupport::makeTestCertificates(temp.path());
  ASSERT_FALSE(certs.selfSignedFingerprint.empty());
  testsupport::writeFile(settings,
                         "[route.test]\nAUTOGETSMTPSERVER=yes\nSMTPSERVER=fallback.test\n"
                         "SMTPPORT=587\nSECURITY=starttls\nTLSPINSHA256=" +
                             certs.selfSignedFingerprint + "\n");
  auto plain = exchanger("127.0.0.2");
  ASSERT_TRUE(plain);
  smtptest::quit(plain->connection()
                     .send("220 mx2.test ESMTP\r\n")
                     .expectPrefix("EHLO ")
                     .send("250 mx2.test\r\n"));
  plain->start();

  std::vector<std::string> received;
  tagSTMPServer route;
  {
    std::unique_ptr<testsupport::TlsServer> secure;
    try {
      secure = std::make_unique<testsupport::TlsServer>(
          certs.selfSignedCert, certs.selfSignedKey,
          [&](testsupport::TlsServer::Session& s) {
            std::string line;
            s.send("220 mx3.test ESMTP\r\n");
            if (!s.readLine(line)) return;
            received.push_back(line);
            s.send("250-mx3.test\r\n250 STARTTLS\r\n");
            if (!s.readLine(line)) return;
            received.push_back(line);
            s.send("220 go ahead\r\n");
            if (!s.handshake()) return;
            for (const char* reply : {"250 mx3.test\r\n", "221 bye\r\n"}) {
              if (!s.readLine(line)) return;
              received.push_back(line);
              s.send(reply);
            }
          },
          "127.0.0.3", 25);
    } catch (const std::exception& e) {
      FAIL() << e.what() << " (port 25 needs root and no mail server on the host's port 25)";
    }
    route = lookUp("route.test");
  }
  EXPECT_STREQ(route.szSMTPServer, "127.0.0.3");
  EXPECT_EQ(route.nSMTPPort, 25);
  EXPECT_TRUE(plain->waitDone());
  EXPECT_TRUE(plain->mismatches().empty());
  EXPECT_EQ(sink.reports,
            std::vector<std::string>{
                "CDNSDevice::IsLegalEcho: Can not get legel echo from 127.0.0.2.(4952)"});
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[0].rfind("EHLO ", 0), 0u);
  EXPECT_EQ(received[1], "STARTTLS");
  EXPECT_EQ(received[2].rfind("HELO ", 0), 0u);
  EXPECT_EQ(received[3], "QUIT");
}

// The sending device asks its own DNS servers and sends the batch to the first exchanger.
TEST_F(DnsmasqRoute, DeviceSendsToTheDomainsExchanger) {
  auto first = exchanger("127.0.0.2");
  ASSERT_TRUE(first);
  testsupport::Script& script = smtptest::greetAndHelo(first->connection());
  script.expect("MAIL FROM: <x@corp.test>")
      .send("250 ok\r\n")
      .expect("RCPT TO: <bob@route.test>")
      .send("250 ok\r\n")
      .expect("DATA")
      .send("354 go\r\n")
      .readUntil("\r\n.\r\n")
      .send("250 queued\r\n");
  smtptest::quit(script);
  first->start();

  const std::string deviceSettings = temp.file("device.ini");
  testsupport::writeFile(deviceSettings, "[Default]\nAUTOGETSMTPSERVER=YES\nDNSSERVER1=" + dns +
                                             "\nSMTPSERVER=127.0.0.1\nSMTPPORT=1\nTIMEOUT=5\n");
  const std::string content = temp.file("m.eml");
  testsupport::writeFile(content, "Subject: hi\r\n\r\nhello\r\n");
  CMailDevice_SendMailInfo routed, fallback;
  std::strcpy(routed.m_szMailFrom, "x@corp.test");
  std::strcpy(routed.m_szRcptTo, "bob@route.test");
  std::strcpy(routed.m_szDataFile, content.c_str());
  fallback = routed;
  std::strcpy(fallback.m_szRcptTo, "bob@nomx.test");

  smtptest::RecordingOwner owner;
  SendingDevice device;
  unsigned long error = 0;
  device.InitializeDevice(deviceSettings.c_str(), "Sender", &owner, error);
  device.StartDevice();
  for (CMailDevice_SendMailInfo* mission : {&routed, &fallback}) {
    ASSERT_EQ(device.OccupyDevice(), 1);
    device.AddSendMissionToQueue(mission);
    ASSERT_EQ(device.StartUpSendProcess(error), 1);
    ASSERT_TRUE(device.waitIdle());
    device.join();
  }
  EXPECT_TRUE(first->waitDone());
  EXPECT_TRUE(first->mismatches().empty()) << first->mismatches().front();
  EXPECT_EQ(routed.m_nState, 3);
  // Without an exchanger the batch goes to the setting's own server and port.
  EXPECT_EQ(fallback.m_nState, 2);
  const std::vector<std::string> statuses = owner.statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "正在连接 127.0.0.2:25 ..."),
            statuses.end());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "连接 127.0.0.1:1 失败"), statuses.end());
}

}  // namespace
