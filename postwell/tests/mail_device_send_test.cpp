// Sending messages through the SMTP session against a scripted server: the exact envelope and
// content on the wire, content sizes around the 16,384-byte piece, progress, rejections that leave
// the session usable, and content files that cannot be read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail_device_test_support.h"
#include "platform/last_error.h"
#include "temp_dir.h"

namespace {

using smtptest::RecordingOwner;
using smtptest::TestDevice;
using testsupport::Script;
using testsupport::ScriptedServer;


// Lines of text with CR LF, cut to the size asked for.
std::string contentOf(std::size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line)
    text += "Line " + std::to_string(line) + " of the message body, with some words to fill it.\r\n";
  text.resize(size);
  return text;
}

// A server that accepts a message: MAIL, the recipients, DATA, the content through its end mark.
Script& acceptMessage(Script& script, const std::string& from, const std::vector<std::string>& recipients) {
  script.expect("MAIL FROM: <" + from + ">").send("250 2.1.0 Ok\r\n");
  for (const std::string& to : recipients) script.expect("RCPT TO: <" + to + ">").send("250 2.1.5 Ok\r\n");
  return script.expect("DATA").send("354 End data with <CR><LF>.<CR><LF>\r\n").readUntil("\r\n.\r\n").send(
      "250 2.0.0 Ok: queued as 1234\r\n");
}

class SmtpSend : public smtptest::SessionTest {};

TEST_F(SmtpSend, SendsTheEnvelopeAndTheContentAsTheyAre) {
  Script& script = smtptest::greetAndHelo(server.connection());
  acceptMessage(script, "alice@example.test", {"bob@example.test", "carol@example.test", "dave@example.test", "erin@example.test"});
  acceptMessage(script, "", {"bob@example.test", "carol@example.test"});
  smtptest::quit(script);
  connect();

  const std::string content = "Subject: hi\r\n\r\n..a stuffed line\r\nlast line without break";
  CSMTPMessage first = message("alice@example.test", "bob@example.test", content);
  first.m_Recipient3.m_sAddress = "carol@example.test";
  first.m_arrRecipient = {"dave@example.test", "erin@example.test"};
  unsigned long error = 0;
  ASSERT_EQ(device.MailFunc_SendMailMessage(first, error), 1);
  EXPECT_EQ(device.GetLastCommandResponse(), "250 2.0.0 Ok: queued as 1234");

  // The Ex variant leaves the list out; the empty sender goes out as "<>".
  CSMTPMessage second = message("", "bob@example.test", "Subject: two\r\n\r\nbody\r\n");
  second.m_Recipient2.m_sAddress = "carol@example.test";
  second.m_arrRecipient = {"dave@example.test"};
  ASSERT_EQ(device.MailFunc_SendMailMessageEx(second, error), 1);

  EXPECT_EQ(conversation(),
            "MAIL FROM: <alice@example.test>\r\n"
            "RCPT TO: <bob@example.test>\r\nRCPT TO: <carol@example.test>\r\n"
            "RCPT TO: <dave@example.test>\r\nRCPT TO: <erin@example.test>\r\n"
            "DATA\r\n" + content + "\r\n.\r\n"
            "MAIL FROM: <>\r\n"
            "RCPT TO: <bob@example.test>\r\nRCPT TO: <carol@example.test>\r\n"
            "DATA\r\nSubject: two\r\n\r\nbody\r\n.\r\n"
            "QUIT\r\n");

  const std::vector<std::string> statuses = owner.statuses();
  const std::vector<std::string> firstMessage(statuses.begin() + 4, statuses.begin() + 18);
  EXPECT_EQ(firstMessage, (std::vector<std::string>{
                              "-> MAIL FROM: <alice@example.test>\r\n", "<- 250 2.1.0 Ok",
                              "-> RCPT TO: <bob@example.test>\r\n", "<- 250 2.1.5 Ok",
                              "-> RCPT TO: <carol@example.test>\r\n", "<- 250 2.1.5 Ok",
                              "-> RCPT TO: <dave@example.test>\r\n", "<- 250 2.1.5 Ok",
                              "-> RCPT TO: <erin@example.test>\r\n", "<- 250 2.1.5 Ok",
                              "-> DATA\r\n", "<- 354 End data with <CR><LF>.<CR><LF>",
                              "发送数据到 bob@example.test ...", "发送结束标志 ...",
                          }));
  // Without a progress record the owner still hears of each piece, with a null record.
  ASSERT_EQ(owner.progress().size(), 2u);
  EXPECT_EQ(owner.progress()[0].record, nullptr);
}

struct SizeCase {
  const char* name;
  std::size_t size;
};

class ContentSize : public SmtpSend, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(ContentSize, ArrivesWholeWithProgressForEachPiece) {
  const std::size_t size = GetParam().size;
  Script& script = smtptest::greetAndHelo(server.connection());
  acceptMessage(script, "a@example.test", {"b@example.test"});
  smtptest::quit(script);
  connect();

  const std::string content = contentOf(size);
  CSMTPMessage m = message("a@example.test", "b@example.test", content);
  CMailDevice_SendMailInfo record;
  m.m_pProgress = &record;
  unsigned long error = 0;
  ASSERT_EQ(device.MailFunc_SendMailMessage(m, error), 1);

  const bool endsWithLineBreak = content.size() >= 2 && content.compare(content.size() - 2, 2, "\r\n") == 0;
  EXPECT_TRUE(conversation() == "MAIL FROM: <a@example.test>\r\nRCPT TO: <b@example.test>\r\nDATA\r\n" + content +
                                    (endsWithLineBreak ? ".\r\n" : "\r\n.\r\n") + "QUIT\r\n");

  std::vector<int> expected{0};
  for (std::size_t sent = 16384; sent < size + 16384; sent += 16384)
    expected.push_back(static_cast<int>(std::min(sent, size) * 100 / size));
  std::vector<int> percents;
  for (const smtptest::Notice& n : owner.progress()) {
    EXPECT_EQ(n.record, &record);
    EXPECT_EQ(n.state, CMailDevice_SendMailInfo::kTransferring);
    percents.push_back(n.percent);
  }
  EXPECT_EQ(percents, expected);
}

INSTANTIATE_TEST_SUITE_P(SmtpSend, ContentSize,
                         ::testing::Values(SizeCase{"OnePiece", 16384}, SizeCase{"OneByteMore", 16385},
                                           SizeCase{"SeveralMegabytes", 5 * 1024 * 1024 + 7 * 71}),
                         [](const auto& info) { return std::string(info.param.name); });

enum class Step { Mail, SecondRcpt, Data, EndOfData };

struct TransactionRejection {
  const char* name;
  Step step;
  std::string reply;
  unsigned long error;
  std::string description;
};

class RejectedMessage : public SmtpSend, public ::testing::WithParamInterface<TransactionRejection> {};

TEST_P(RejectedMessage, FailsWithItsCodeAndTheNextMessageGoesThrough) {
  const TransactionRejection& c = GetParam();
  Script& script = smtptest::greetAndHelo(server.connection());
  const std::string rejection = c.reply + "\r\n";
  script.expect("MAIL FROM: <a@example.test>").send(c.step == Step::Mail ? rejection : "250 Ok\r\n");
  if (c.step != Step::Mail) {
    script.expect("RCPT TO: <b@example.test>").send("250 Ok\r\n");
    script.expect("RCPT TO: <c@example.test>").send(c.step == Step::SecondRcpt ? rejection : "250 Ok\r\n");
  }
  if (c.step == Step::Data || c.step == Step::EndOfData)
    script.expect("DATA").send(c.step == Step::Data ? rejection : "354 go on\r\n");
  if (c.step == Step::EndOfData) script.readUntil("\r\n.\r\n").send(rejection);
  script.expect("RSET").send("250 2.0.0 Ok\r\n");
  acceptMessage(script, "a@example.test", {"d@example.test"});
  smtptest::quit(script);
  connect();

  CSMTPMessage rejected = message("a@example.test", "b@example.test", "Subject: x\r\n\r\nx\r\n");
  rejected.m_arrRecipient = {"c@example.test"};
  unsigned long error = 0;
  EXPECT_EQ(device.MailFunc_SendMailMessage(rejected, error), 0);
  EXPECT_EQ(error, c.error);
  EXPECT_EQ(platform::lastError(), platform::err::kBadCommand);
  EXPECT_EQ(device.GetLastErrorDescription(), c.description);
  EXPECT_EQ(device.GetLastCommandResponse(), c.reply);
  EXPECT_EQ(device.GetLastCommandResponseCode(), std::stoi(c.reply.substr(0, 3)));
  EXPECT_EQ(owner.statuses().back(), "-_-~ " + c.reply);

  CSMTPMessage next = message("a@example.test", "d@example.test", "Subject: y\r\n\r\ny\r\n");
  EXPECT_EQ(device.MailFunc_SendMailMessage(next, error), 1);
  conversation();
}

INSTANTIATE_TEST_SUITE_P(
    SmtpSend, RejectedMessage,
    ::testing::Values(
        TransactionRejection{"Mail", Step::Mail, "553 5.7.1 sender rejected", 4898,
                             "An unexpected MAIL response was received 553 5.7.1 sender rejected"},
        TransactionRejection{"SecondRecipient", Step::SecondRcpt, "550 5.1.1 no such user", 4899,
                             "An unexpected RCPT response was received 550 5.1.1 no such user"},
        TransactionRejection{"Data", Step::Data, "554 5.5.1 no valid recipients", 4900,
                             "An unexpected DATA response was received 554 5.5.1 no valid recipients"},
        TransactionRejection{"EndOfData", Step::EndOfData, "552 5.3.4 message too big", 4901,
                             "An unexpected end of message response was received 552 5.3.4 message too big"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SmtpSend, RefusedResetEndsTheSession) {
  Script& script = smtptest::greetAndHelo(server.connection());
  script.expect("MAIL FROM: <a@example.test>").send("553 sender rejected\r\n").expect("RSET").send("502 no\r\n");
  smtptest::quit(script);
  connect();

  CSMTPMessage m = message("a@example.test", "b@example.test", "x\r\n");
  unsigned long error = 0;
  EXPECT_EQ(device.MailFunc_SendMailMessage(m, error), 0);
  EXPECT_EQ(error, 4898u);
  EXPECT_EQ(device.GetLastCommandResponse(), "553 sender rejected");
  EXPECT_EQ(device.m_bConnected, 0);
  EXPECT_EQ(conversation(), "MAIL FROM: <a@example.test>\r\nRSET\r\nQUIT\r\n");
}

TEST_F(SmtpSend, ContentFileThatCannotBeOpenedStartsNoTransaction) {
  Script& script = smtptest::greetAndHelo(server.connection());
  acceptMessage(script, "a@example.test", {"b@example.test"});
  smtptest::quit(script);
  connect();

  for (const std::string& path : {dir.file("missing.eml"), dir.path()}) {
    CSMTPMessage unreadable = message("a@example.test", "b@example.test", "");
    unreadable.m_sContentFile = path;
    unsigned long error = 0;
    EXPECT_EQ(device.MailFunc_SendMailMessage(unreadable, error), 0);
    EXPECT_EQ(error, 4881u);
    EXPECT_EQ(device.GetLastErrorDescription(), "Open mailbody file error " + path);
  }

  CSMTPMessage next = message("a@example.test", "b@example.test", "Subject: y\r\n\r\ny\r\n");
  unsigned long error = 0;
  EXPECT_EQ(device.MailFunc_SendMailMessage(next, error), 1);
  EXPECT_EQ(conversation().substr(0, 30), "MAIL FROM: <a@example.test>\r\nR");
}

// A file that opens but fails to read: reading /proc/self/mem at offset 0 fails with an I/O error.
TEST_F(SmtpSend, ReadFailureInTheDataPhaseDropsTheConnection) {
  Script& script = smtptest::greetAndHelo(server.connection());
  script.expect("MAIL FROM: <a@example.test>").send("250 Ok\r\n").expect("RCPT TO: <b@example.test>").send("250 Ok\r\n");
  script.expect("DATA").send("354 go on\r\n").silence();
  connect();

  CSMTPMessage m = message("a@example.test", "b@example.test", "");
  m.m_sContentFile = "/proc/self/mem";
  unsigned long error = 0;
  EXPECT_EQ(device.MailFunc_SendMailMessage(m, error), 0);
  EXPECT_EQ(error, 31u);
  EXPECT_EQ(device.GetLastErrorDescription(), "Failed to read send message file , GetLastError returns: 31");
  EXPECT_EQ(device.m_bConnected, 0);
  EXPECT_EQ(conversation(), "MAIL FROM: <a@example.test>\r\nRCPT TO: <b@example.test>\r\nDATA\r\n");
}

TEST_F(SmtpSend, SilentServerInTheTransactionFailsAfterTheTimeout) {
  Script& script = smtptest::greetAndHelo(server.connection());
  script.expect("MAIL FROM: <a@example.test>").silence();
  connect();
  device.SetTimeout(200);

  CSMTPMessage m = message("a@example.test", "b@example.test", "x\r\n");
  unsigned long error = 0;
  EXPECT_EQ(device.MailFunc_SendMailMessage(m, error), 0);
  EXPECT_EQ(error, 4898u);
  EXPECT_EQ(device.m_bConnected, 0);
  // No RSET: without a reply the server's state is unknown, so the session ends with QUIT.
  EXPECT_EQ(conversation(), "MAIL FROM: <a@example.test>\r\nQUIT\r\n");
}

}  // namespace
