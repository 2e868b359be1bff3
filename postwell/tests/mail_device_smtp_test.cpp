// The SMTP session's greeting and login against a scripted server: HELO, EHLO with AUTH LOGIN,
// replies whole and in pieces, every rejection, silence, and QUIT.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail_device_test_support.h"
#include "platform/host_name.h"
#include "platform/last_error.h"
#include "temp_dir.h"

namespace {

using smtptest::RecordingOwner;
using smtptest::TestDevice;
using testsupport::Script;
using testsupport::ScriptedServer;

std::string helloName() { return platform::localHostName().substr(0, 100); }

bool contains(const std::vector<std::string>& texts, const std::string& text) {
  for (const std::string& t : texts)
    if (t == text) return true;
  return false;
}

TEST(SmtpSession, HeloReportsEachStepAndQuits) {
  ScriptedServer server;
  smtptest::quit(smtptest::greetAndHelo(server.connection()));
  server.start();
  RecordingOwner owner;
  TestDevice device(&owner);
  unsigned long error = 0;

  ASSERT_EQ(device.MailFunc_Connect("127.0.0.1", server.port(), error), 1);
  EXPECT_EQ(device.GetLastCommandResponse(), "250 mx.test");
  EXPECT_EQ(device.GetLastCommandResponseCode(), 250);
  EXPECT_EQ(device.Disconnect(), 1);
  EXPECT_EQ(device.Disconnect(), 0);

  const std::string port = std::to_string(server.port());
  EXPECT_EQ(owner.statuses(), (std::vector<std::string>{
                                  "连接到 127.0.0.1:" + port + " ,等待应答 ...",
                                  "<- 220 mx.test ESMTP",
                                  "-> HELO " + helloName() + "\r\n",
                                  "<- 250 mx.test",
                              }));
  for (const smtptest::Notice& n : owner.notices) {
    EXPECT_EQ(n.wParam, 512u);
    EXPECT_EQ(n.record, &device);
  }
  server.stop();
  EXPECT_TRUE(server.mismatches().empty());
  EXPECT_EQ(server.received(), "HELO " + helloName() + "\r\nQUIT\r\n");
}

// The EHLO reply arrives in the pieces given, with a pause between them.
struct EhloCase {
  const char* name;
  std::vector<std::string> pieces;
  std::string authLoginReply;
};

class EhloAndAuthLogin : public ::testing::TestWithParam<EhloCase> {};

TEST_P(EhloAndAuthLogin, LogsInWithTheWholeReplyReadAndThePasswordHidden) {
  const EhloCase& c = GetParam();
  ScriptedServer server;
  Script& script = server.connection();
  script.send("220-mx.test ESMTP\r\n220 welcome\r\n").expect("EHLO " + helloName());
  for (const std::string& piece : c.pieces) script.send(piece).pause(30);
  script.expect("AUTH LOGIN").send(c.authLoginReply + "\r\n");
  script.expect("dXNlcg==").send("334 UGFzc3dvcmQ6\r\n");
  script.expect("cGFzcw==").send("235 2.7.0 Authentication successful\r\n");
  smtptest::quit(script);
  server.start();

  testsupport::TempDir dir;
  RecordingOwner owner;
  {
    TestDevice device(&owner);
    device.MailFuncD_SetDebugFlag(1, dir.file("debug.log").c_str());
    unsigned long error = 0;
    ASSERT_EQ(device.MailFunc_ConnectESMTP("127.0.0.1", "dXNlcg==", "cGFzcw==", server.port(), error), 1);
    EXPECT_EQ(device.GetLastCommandResponse(), "235 2.7.0 Authentication successful");
  }
  server.stop();
  EXPECT_TRUE(server.mismatches().empty()) << server.mismatches().front();

  const std::vector<std::string> statuses = owner.statuses();
  EXPECT_TRUE(contains(statuses, "<- 220-mx.test ESMTP\r\n220 welcome"));
  EXPECT_TRUE(contains(statuses, "<- 250-mx.test\r\n250-AUTH LOGIN\r\n250 8BITMIME"));
  EXPECT_TRUE(contains(statuses, "-> dXNlcg==\r\n"));
  EXPECT_TRUE(contains(statuses, "-> *****"));
  EXPECT_EQ(statuses.back(), "<- 235 2.7.0 Authentication successful");
  for (const std::string& s : statuses) EXPECT_EQ(s.find("cGFzcw=="), std::string::npos) << s;

  const std::string log = testsupport::readFile(dir.file("debug.log"));
  EXPECT_NE(log.find("\t-> dXNlcg==\r\n"), std::string::npos);
  EXPECT_NE(log.find("\t-> *****\r\n"), std::string::npos);
  EXPECT_EQ(log.find("cGFzcw=="), std::string::npos);
}

const std::string kEhloReply = "250-mx.test\r\n250-AUTH LOGIN\r\n250 8BITMIME\r\n";

INSTANTIATE_TEST_SUITE_P(
    SmtpSession, EhloAndAuthLogin,
    ::testing::Values(
        EhloCase{"Whole", {kEhloReply}, "334 VXNlcm5hbWU6"},
        EhloCase{"FinalLineLater", {"250-mx.test\r\n250-AUTH LOGIN\r\n", "250 8BITMIME\r\n"}, "334 VXNlcm5hbWU6"},
        EhloCase{"SplitInsideLines", {"250-mx.te", "st\r\n250-AUTH LO", "GIN\r", "\n250 8BIT", "MIME\r\n"},
                 "334 VXNlcm5hbWU6"},
        EhloCase{"AuthLoginAnswered250", {kEhloReply}, "250 go ahead"}),
    [](const auto& info) { return std::string(info.param.name); });

enum class Stage { Greeting, Hello, AuthLogin, User, Password };

struct RejectionCase {
  const char* name;
  bool esmtp;
  Stage stage;
  std::string reply;
  unsigned long error;
  std::string description;
  int lastCode;  // the reply code left behind
  bool staysConnected;
};

class ConnectRejection : public ::testing::TestWithParam<RejectionCase> {};

TEST_P(ConnectRejection, FailsWithItsCodeAndText) {
  const RejectionCase& c = GetParam();
  ScriptedServer server;
  Script& script = server.connection();
  auto answer = [&](Stage stage, const std::string& expected, const std::string& accepted) {
    if (c.stage == stage) {
      script.send(c.reply + "\r\n");
      return false;
    }
    script.send(accepted).expectPrefix(expected);
    return true;
  };
  if (answer(Stage::Greeting, c.esmtp ? "EHLO " : "HELO ", "220 mx.test\r\n") &&
      answer(Stage::Hello, "AUTH LOGIN", "250 mx.test\r\n") && answer(Stage::AuthLogin, "dXNlcg==", "334 VXNlcm5hbWU6\r\n") &&
      answer(Stage::User, "cGFzcw==", "334 UGFzc3dvcmQ6\r\n"))
    answer(Stage::Password, "", "");
  smtptest::quit(script);
  server.start();

  RecordingOwner owner;
  TestDevice device(&owner);
  unsigned long error = 0;
  const int result = c.esmtp ? device.MailFunc_ConnectESMTP("127.0.0.1", "dXNlcg==", "cGFzcw==", server.port(), error)
                             : device.MailFunc_Connect("127.0.0.1", server.port(), error);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(error, c.error);
  EXPECT_EQ(device.GetLastErrorDescription(), c.description);
  EXPECT_EQ(device.GetLastCommandResponseCode(), c.lastCode);
  EXPECT_EQ(device.m_bConnected, c.staysConnected ? 1 : 0);
  EXPECT_TRUE(contains(owner.statuses(), "-_-~ " + c.reply));

  device.Disconnect();
  server.stop();
  EXPECT_TRUE(server.mismatches().empty()) << server.mismatches().front();
  EXPECT_EQ(server.received().substr(server.received().size() - 6), "QUIT\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    SmtpSession, ConnectRejection,
    ::testing::Values(
        RejectionCase{"SmtpGreeting", false, Stage::Greeting, "554 no service", 4896,
                      "An unexpected SMTP connect response was received 554 no service", 221, false},
        RejectionCase{"EsmtpGreeting", true, Stage::Greeting, "421 busy", 4896,
                      "An unexpected ESMTP connect response was received 421 busy", 221, false},
        RejectionCase{"Helo", false, Stage::Hello, "501 bad name", 4897,
                      "An unexpected HELO response was received 501 bad name", 501, true},
        RejectionCase{"HeloReplyWithoutCode", false, Stage::Hello, "hello there", 4897,
                      "An unexpected HELO response was received hello there", 220, true},
        RejectionCase{"Ehlo", true, Stage::Hello, "502 command not implemented", 4897,
                      "An unexpected HELO response was received 502 command not implemented", 502, true},
        RejectionCase{"AuthLogin", true, Stage::AuthLogin, "504 5.5.4 unrecognized authentication type", 4947,
                      "An unexpected AUTH LOGIN response was received 504 5.5.4 unrecognized authentication type",
                      504, true},
        RejectionCase{"User", true, Stage::User, "535 5.7.8 no such user", 4948,
                      "An unexpected AUTH LOGIN name response was received 535 5.7.8 no such user", 535, true},
        RejectionCase{"Password", true, Stage::Password, "535 5.7.8 Error: authentication failed", 4949,
                      "An unexpected AUTH LOGIN passwd response was received 535 5.7.8 Error: authentication failed",
                      535, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SmtpSession, SilentServerFailsAfterTheTimeoutKeepingWhatArrived) {
  ScriptedServer server;
  server.connection().send("220 mx.test\r\n").expectPrefix("EHLO ").send("250-mx.test\r\n250-AUTH").silence();
  server.start();
  TestDevice device;
  device.SetTimeout(300);
  unsigned long error = 0;

  EXPECT_EQ(device.MailFunc_ConnectESMTP("127.0.0.1", "u", "p", server.port(), error), 0);
  EXPECT_EQ(platform::lastError(), platform::err::kWsaTimedOut);
  EXPECT_EQ(error, 4897u);
  EXPECT_EQ(device.GetLastCommandResponse(), "250-mx.test\r\n250-AUTH");
  EXPECT_EQ(device.GetLastCommandResponseCode(), 220);
}

TEST(SmtpSession, ServerThatClosesEndsTheReadAtOnce) {
  ScriptedServer server;
  server.connection().send("220 mx.test\r\n").expectPrefix("HELO ").close();
  server.start();
  TestDevice device;
  unsigned long error = 0;

  EXPECT_EQ(device.MailFunc_Connect("127.0.0.1", server.port(), error), 0);
  EXPECT_EQ(platform::lastError(), platform::err::kWsaTimedOut);
  EXPECT_EQ(error, 4897u);
}

TEST(SmtpSession, SilentGreetingFails) {
  ScriptedServer server;
  server.connection().silence();
  server.start();
  TestDevice device;
  device.SetTimeout(200);
  unsigned long error = 0;

  EXPECT_EQ(device.MailFunc_Connect("127.0.0.1", server.port(), error), 0);
  EXPECT_EQ(error, 4896u);
  EXPECT_EQ(device.m_bConnected, 0);
}

TEST(SmtpSession, ConnectionFailuresCarryTheSocketError) {
  std::uint16_t closedPort;
  {
    ScriptedServer gone;
    closedPort = gone.port();
  }
  TestDevice device;
  unsigned long error = 0;
  EXPECT_EQ(device.MailFunc_Connect("127.0.0.1", closedPort, error), 0);
  EXPECT_EQ(error, platform::err::kWsaConnectionRefused);
  EXPECT_EQ(device.GetLastErrorDescription(),
            "Could not connect to the SMTP server 127.0.0.1 on port " + std::to_string(closedPort) +
                ", GetLastError returns: 10061");

  EXPECT_EQ(device.MailFunc_Connect("no-such-host.invalid", 25, error), 0);
  EXPECT_EQ(error, platform::err::kWsaInvalidArgument);
  EXPECT_EQ(device.GetLastErrorDescription(),
            "Could not connect to the SMTP server no-such-host.invalid on port 25, GetLastError returns: 10022");
}

TEST(SmtpSession, DisconnectWaitsWhileMissionsAreQueued) {
  ScriptedServer server;
  smtptest::quit(smtptest::greetAndHelo(server.connection()));
  server.start();
  TestDevice device;
  unsigned long error = 0;
  ASSERT_EQ(device.MailFunc_Connect("127.0.0.1", server.port(), error), 1);

  CMailDevice_SendMailInfo mission;
  device.m_arrSendMission.push_back(&mission);
  EXPECT_EQ(device.Disconnect(), 0);
  EXPECT_EQ(device.m_bConnected, 1);
  device.m_arrSendMission.clear();
  EXPECT_EQ(device.Disconnect(), 1);
  EXPECT_EQ(device.m_bConnected, 0);
}

}  // namespace
