// What the SMTP session takes from its caller, its content file and its server: values with line
// breaks are refused before anything is sent, a content line of a single dot cannot end the data,
// and a reply that trickles in is given up on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail_device_test_support.h"
#include "platform/last_error.h"
#include "temp_dir.h"

namespace {

using smtptest::TestDevice;
using testsupport::Script;
using testsupport::ScriptedServer;
using ::testing::HasSubstr;
using ::testing::StartsWith;


// A server that accepts a message: MAIL, the recipients, DATA, the content through its end mark.
Script& acceptMessage(Script& script, const std::string& from, const std::vector<std::string>& recipients) {
  script.expect("MAIL FROM: <" + from + ">").send("250 Ok\r\n");
  for (const std::string& to : recipients) script.expect("RCPT TO: <" + to + ">").send("250 Ok\r\n");
  return script.expect("DATA").send("354 go on\r\n").readUntil("\r\n.\r\n").send("250 Ok: queued\r\n");
}

class SmtpLimits : public smtptest::SessionTest {};

// ---- Envelope values that would end their command line ------------------------------------------

struct EnvelopeCase {
  const char* name;
  std::string from;
  std::string recipient2;
  std::vector<std::string> list;
  const char* refused;
};

class RefusedEnvelope : public SmtpLimits, public ::testing::WithParamInterface<EnvelopeCase> {};

TEST_P(RefusedEnvelope, IsRefusedBeforeMailAndTheNextMessageGoesThrough) {
  const EnvelopeCase& c = GetParam();
  Script& script = smtptest::greetAndHelo(server.connection());
  acceptMessage(script, "a@example.test", {"b@example.test"});
  smtptest::quit(script);
  connect();

  CSMTPMessage bad = message(c.from, "b@example.test", "Subject: x\r\n\r\nx\r\n");
  bad.m_Recipient2.m_sAddress = c.recipient2;
  bad.m_arrRecipient = c.list;
  unsigned long error = 0;
  EXPECT_EQ(device.MailFunc_SendMailMessage(bad, error), 0);
  EXPECT_EQ(error, 10022u);
  EXPECT_EQ(platform::lastError(), 10022u);
  EXPECT_THAT(device.GetLastErrorDescription(), StartsWith(c.refused));
  EXPECT_EQ(device.GetLastErrorDescription().find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(device.m_bConnected, 1);

  CSMTPMessage good = message("a@example.test", "b@example.test", "Subject: y\r\n\r\ny\r\n");
  ASSERT_EQ(device.MailFunc_SendMailMessage(good, error), 1) << device.GetLastErrorDescription();
  EXPECT_EQ(conversation(),
            "MAIL FROM: <a@example.test>\r\nRCPT TO: <b@example.test>\r\nDATA\r\nSubject: y\r\n\r\ny\r\n.\r\n"
            "QUIT\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    SmtpLimits, RefusedEnvelope,
    ::testing::Values(
        EnvelopeCase{"Sender", "a@example.test>\r\nRCPT TO: <evil@example.test", "", {}, "Refused to send the MAIL command"},
        EnvelopeCase{"SingleRecipient", "a@example.test", "c@example.test\nRCPT TO: <evil@example.test>", {},
                     "Refused to send the RCPT command"},
        EnvelopeCase{"ListEntry", "a@example.test", "", {"c@example.test", "d@example.test\rX"},
                     "Refused to send the RCPT command"},
        EnvelopeCase{"NulInRecipient", "a@example.test", std::string("c@example.test\0x", 16), {},
                     "Refused to send the RCPT command"}),
    [](const auto& info) { return std::string(info.param.name); });

struct AuthCase {
  const char* name;
  const char* user;
  const char* password;
  const char* refused;
};

class RefusedAuthLogin : public ::testing::TestWithParam<AuthCase> {};

TEST_P(RefusedAuthLogin, IsRefusedBeforeConnecting) {
  ScriptedServer server;
  server.start();
  TestDevice device;
  unsigned long error = 0;
  EXPECT_EQ(device.MailFunc_ConnectESMTP("127.0.0.1", GetParam().user, GetParam().password, server.port(), error), 0);
  EXPECT_EQ(error, 10022u);
  EXPECT_EQ(platform::lastError(), 10022u);
  EXPECT_THAT(device.GetLastErrorDescription(), StartsWith(GetParam().refused));
  EXPECT_EQ(device.GetLastErrorDescription().find("c2VjcmV0"), std::string::npos);
  server.stop();
  EXPECT_EQ(server.accepted(), 0);
}

INSTANTIATE_TEST_SUITE_P(SmtpLimits, RefusedAuthLogin,
                         ::testing::Values(AuthCase{"User", "dXNlcg==\r\nMAIL FROM: <x>", "c2VjcmV0",
                                                    "Refused to send the AUTH LOGIN user name"},
                                           AuthCase{"Password", "dXNlcg==", "c2VjcmV0\n",
                                                    "Refused to send the AUTH LOGIN passwd"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Content lines of a single dot --------------------------------------------------------------

struct DotCase {
  const char* name;
  std::string content;
  std::string sent;  // the content as it goes out, with the end mark
};

class DotLines : public SmtpLimits, public ::testing::WithParamInterface<DotCase> {};

TEST_P(DotLines, GoOutDoubledAndNothingElseChanges) {
  Script& script = smtptest::greetAndHelo(server.connection());
  acceptMessage(script, "a@example.test", {"b@example.test"});
  smtptest::quit(script);
  connect();

  CSMTPMessage m = message("a@example.test", "b@example.test", GetParam().content);
  unsigned long error = 0;
  ASSERT_EQ(device.MailFunc_SendMailMessage(m, error), 1) << device.GetLastErrorDescription();
  EXPECT_TRUE(conversation() ==
              "MAIL FROM: <a@example.test>\r\nRCPT TO: <b@example.test>\r\nDATA\r\n" + GetParam().sent + "QUIT\r\n");
}

// Content of the given size whose last two bytes are CR LF.
std::string filler(std::size_t size) {
  std::string text;
  while (text.size() < size) text += "filler line of the message body\r\n";
  text.resize(size - 2);
  return text + "\r\n";
}

const std::string kFirstPiece = filler(16384);
const std::string kAlmostAPiece = filler(16383);

INSTANTIATE_TEST_SUITE_P(
    SmtpLimits, DotLines,
    ::testing::Values(
        DotCase{"CrLf", "Subject: x\r\n\r\nbefore\r\n.\r\nQUIT\r\n", "Subject: x\r\n\r\nbefore\r\n..\r\nQUIT\r\n.\r\n"},
        DotCase{"BareLf", "Subject: x\n\nbefore\n.\nafter", "Subject: x\n\nbefore\n..\nafter\r\n.\r\n"},
        DotCase{"BareCr", "before\r.\rafter", "before\r..\rafter\r\n.\r\n"},
        DotCase{"FirstLine", ".\r\nafter\r\n", "..\r\nafter\r\n.\r\n"},
        DotCase{"LastLineWithoutBreak", "before\r\n.", "before\r\n..\r\n.\r\n"},
        DotCase{"OnlyADot", ".", "..\r\n.\r\n"},
        DotCase{"AlreadyStuffed", "before\r\n..\r\n..x\r\n.x\r\nx.\r\n.. \r\n", "before\r\n..\r\n..x\r\n.x\r\nx.\r\n.. \r\n.\r\n"},
        DotCase{"DotLineStartsTheSecondPiece", kFirstPiece + ".\r\nafter\r\n", kFirstPiece + "..\r\nafter\r\n.\r\n"},
        DotCase{"DotEndsTheFirstPiece", kAlmostAPiece + ".\r\nafter\r\n", kAlmostAPiece + "..\r\nafter\r\n.\r\n"},
        DotCase{"DotEndsTheFirstPieceAndTheLineGoesOn", kAlmostAPiece + ".x\r\n", kAlmostAPiece + ".x\r\n.\r\n"},
        DotCase{"DotEndsTheFile", kAlmostAPiece + ".", kAlmostAPiece + "..\r\n.\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Replies that trickle in --------------------------------------------------------------------

TEST(SmtpDeadline, ReplyTrickledByteByByteFailsWith10060) {
  ScriptedServer server;
  // Never idle for the timeout, but the whole reply would take three seconds.
  server.connection()
      .send("220 mx.test\r\n")
      .expectPrefix("HELO ")
      .sendInPieces("250 " + std::string(150, 'x') + "\r\n", 1, 20)
      .silence();
  server.start();
  TestDevice device;
  device.SetTimeout(150);
  unsigned long error = 0;
  EXPECT_EQ(device.MailFunc_Connect("127.0.0.1", server.port(), error), 0);
  EXPECT_EQ(error, 4897u);
  EXPECT_EQ(platform::lastError(), 10060u);
  EXPECT_THAT(device.GetLastCommandResponse(), StartsWith("250 x"));
  EXPECT_LT(device.GetLastCommandResponse().size(), 100u);
  device.Disconnect();
  server.stop();
}

}  // namespace
