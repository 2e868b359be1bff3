// The SMTP session, line by line, with its exact replies.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sandbox_root.h"
#include "smtp_session.h"

namespace mailsandbox::test {
namespace {

// base64 of "ann@example.com", "ann-pw", "ann"
constexpr const char* kAnnAddress64 = "YW5uQGV4YW1wbGUuY29t";
constexpr const char* kAnnPassword64 = "YW5uLXB3";
constexpr const char* kAnnName64 = "YW5u";

class SmtpSessionTest : public testing::Test {
 protected:
  SmtpSessionTest()
      : root({"ann@example.com", "bob@example.com", "boss@example.com"}),
        session(root.accounts, root.delivery, [this](std::string_view text) { events.emplace_back(text); }) {}

  std::string say(const std::string& line) { return session.onLine(line + "\r\n"); }
  void greet() { ASSERT_EQ(say("HELO client.example.com"), "250 mailsandbox greets client.example.com\r\n"); }

  SandboxRoot root;
  std::vector<std::string> events;
  SmtpSession session;
};

TEST_F(SmtpSessionTest, SubmissionWithAuthLoginStoresTheUnstuffedMessage) {
  EXPECT_EQ(session.greeting(),
            "220 mailsandbox ESMTP test stand-in for the mail server, not a mail server\r\n");
  EXPECT_EQ(say("EHLO client.example.com"),
            "250-mailsandbox greets client.example.com\r\n250-AUTH LOGIN\r\n250-8BITMIME\r\n"
            "250-SIZE 67108864\r\n250 HELP\r\n");
  EXPECT_EQ(say("AUTH LOGIN"), "334 VXNlcm5hbWU6\r\n");
  EXPECT_EQ(say(kAnnAddress64), "334 UGFzc3dvcmQ6\r\n");
  EXPECT_EQ(say(kAnnPassword64), "235 2.7.0 Authentication successful\r\n");
  EXPECT_EQ(say("MAIL FROM: <ann@example.com>"), "250 2.1.0 Ok\r\n");
  EXPECT_EQ(say("RCPT TO: <bob@example.com>"), "250 2.1.5 Ok\r\n");
  EXPECT_EQ(say("DATA"), "354 End data with <CR><LF>.<CR><LF>\r\n");
  for (const char* line : {"From: ann@example.com", "Subject: dots", "", "..leading dot", "...", "last"})
    EXPECT_EQ(say(line), "");
  EXPECT_EQ(say("."), "250 2.0.0 Ok: queued as md5000000001\r\n");
  EXPECT_EQ(say("QUIT"), "221 2.0.0 Bye\r\n");
  EXPECT_TRUE(session.finished());

  std::vector<std::string> delivered = root.messagesOf("bob@example.com");
  ASSERT_EQ(delivered.size(), 1u);
  std::string body = delivered[0].substr(delivered[0].find("\r\n") + 2);
  EXPECT_EQ(body, "From: ann@example.com\r\nSubject: dots\r\n\r\n.leading dot\r\n..\r\nlast\r\n");
  EXPECT_EQ(events[0], "connected");
  EXPECT_EQ(events[1], "AUTH LOGIN as ann@example.com");
  EXPECT_EQ(events[2], "message md5000000001 from ann@example.com: delivered to bob@example.com");
}

TEST_F(SmtpSessionTest, BareLineFeedsAreTakenAndKept) {
  greet();
  EXPECT_EQ(session.onLine("MAIL FROM:<ann@example.com>\n"), "250 2.1.0 Ok\r\n");
  EXPECT_EQ(session.onLine("RCPT TO:<bob@example.com>\n"), "250 2.1.5 Ok\r\n");
  EXPECT_EQ(session.onLine("DATA\n"), "354 End data with <CR><LF>.<CR><LF>\r\n");
  EXPECT_EQ(session.onLine("Subject: lf\n"), "");
  EXPECT_EQ(session.onLine("\n"), "");
  EXPECT_EQ(session.onLine(".\n"), "250 2.0.0 Ok: queued as md5000000001\r\n");
  std::string stored = root.messagesOf("bob@example.com").at(0);
  EXPECT_TRUE(stored.ends_with("\r\nSubject: lf\n\n")) << stored;
}

TEST_F(SmtpSessionTest, AuthLoginOutcomes) {
  struct Case {
    std::vector<std::string> lines;
    std::string lastReply;
  };
  const Case cases[] = {
      {{"AUTH LOGIN", kAnnAddress64, "d3Jvbmc="}, "535 5.7.8 Authentication credentials invalid\r\n"},
      {{"AUTH LOGIN", "bm9ib2R5", kAnnPassword64}, "535 5.7.8 Authentication credentials invalid\r\n"},
      {{"AUTH LOGIN", kAnnName64, kAnnPassword64}, "235 2.7.0 Authentication successful\r\n"},
      {{std::string("auth login ") + kAnnAddress64}, "334 UGFzc3dvcmQ6\r\n"},
      {{std::string("AUTH LOGIN ") + kAnnAddress64, kAnnPassword64},
       "235 2.7.0 Authentication successful\r\n"},
      {{"AUTH LOGIN", "*"}, "501 5.7.0 Authentication cancelled\r\n"},
      {{"AUTH LOGIN", "not base64!"}, "501 5.5.2 Cannot decode the response\r\n"},
      {{"AUTH PLAIN AGFubgBhbm4tcHc="},
       "504 5.5.4 Unrecognized authentication type, only LOGIN is offered\r\n"},
  };
  for (const Case& c : cases) {
    SmtpSession fresh(root.accounts, root.delivery, [](std::string_view) {});
    EXPECT_EQ(fresh.onLine("EHLO c\r\n").substr(0, 4), "250-");
    std::string reply;
    for (const std::string& line : c.lines) reply = fresh.onLine(line + "\r\n");
    EXPECT_EQ(reply, c.lastReply) << c.lines.back();
    // Once the exchange has ended, the session takes commands again.
    if (!reply.starts_with("334")) {
      EXPECT_EQ(fresh.onLine("NOOP\r\n"), "250 2.0.0 Ok\r\n");
    }
  }
}

TEST_F(SmtpSessionTest, CommandsOutOfOrderOrMalformed) {
  EXPECT_EQ(say("MAIL FROM:<ann@example.com>"), "503 5.5.1 Send HELO or EHLO first\r\n");
  EXPECT_EQ(say("AUTH LOGIN"), "503 5.5.1 Send EHLO first\r\n");
  EXPECT_EQ(say("EHLO"), "501 5.5.4 Syntax: EHLO hostname\r\n");
  greet();
  EXPECT_EQ(say("RCPT TO:<bob@example.com>"), "503 5.5.1 Need MAIL command first\r\n");
  EXPECT_EQ(say("DATA"), "503 5.5.1 Need MAIL command first\r\n");
  EXPECT_EQ(say("MAIL TO:<ann@example.com>"), "501 5.5.4 Syntax: MAIL FROM:<address>\r\n");
  EXPECT_EQ(say("MAIL FROM:<ann@example.com"), "501 5.5.4 Syntax: MAIL FROM:<address>\r\n");
  EXPECT_EQ(say("mail from:<> SIZE=100"), "250 2.1.0 Ok\r\n");
  EXPECT_EQ(say("MAIL FROM:<ann@example.com>"), "503 5.5.1 Nested MAIL command\r\n");
  EXPECT_EQ(say("DATA"), "554 5.5.1 No valid recipients\r\n");
  EXPECT_EQ(say("RCPT TO:<>"), "501 5.1.3 Bad recipient address syntax\r\n");
  EXPECT_EQ(say("RCPT TO:<nobody@example.com>"), "550 5.1.1 <nobody@example.com>: no such mailbox here\r\n");
  EXPECT_EQ(say("RCPT TO:bob@example.com"), "250 2.1.5 Ok\r\n");
  EXPECT_EQ(say("RSET"), "250 2.0.0 Ok\r\n");
  EXPECT_EQ(say("RCPT TO:<bob@example.com>"), "503 5.5.1 Need MAIL command first\r\n");
  EXPECT_EQ(say("VRFY bob"), "252 2.5.2 Cannot VRFY user, but will accept the message\r\n");
  EXPECT_EQ(say("STARTTLS"), "500 5.5.2 Command not recognized\r\n");
  EXPECT_EQ(say(""), "500 5.5.2 Command not recognized\r\n");
  EXPECT_FALSE(session.finished());
  EXPECT_EQ(session.onLineTooLong(), "500 5.5.0 Line too long, closing the connection\r\n");
  EXPECT_TRUE(session.finished());
  EXPECT_TRUE(root.messagesOf("bob@example.com").empty());
}

TEST_F(SmtpSessionTest, HeldMessageIsAcceptedAndMessageThatCannotBeStoredIsNot) {
  root.writeRules(signOffRule(1, "Sign_0_boss@example.com", {"ann@example.com"}, "boss@example.com") +
                  signOffRule(2, "Sign_1_gone@example.com", {"bob@example.com"}, "gone@example.com"));
  greet();
  for (const char* line :
       {"MAIL FROM:<ann@example.com>", "RCPT TO:<bob@example.com>", "DATA", "Subject: a", ""})
    say(line);
  EXPECT_EQ(say("."), "250 2.0.0 Ok: queued as md5000000001\r\n");
  EXPECT_EQ(events.back(),
            "message md5000000001 from ann@example.com: matched Sign_0_boss@example.com; copied to "
            "boss@example.com; held, not delivered to bob@example.com");

  for (const char* line :
       {"MAIL FROM:<bob@example.com>", "RCPT TO:<ann@example.com>", "DATA", "Subject: b", ""})
    say(line);
  EXPECT_EQ(say("."),
            "451 4.3.0 Message not accepted: cannot copy to gone@example.com for Sign_1_gone@example.com: no "
            "mailbox gone@example.com\r\n");
  EXPECT_EQ(say("RCPT TO:<ann@example.com>"), "503 5.5.1 Need MAIL command first\r\n");
  EXPECT_EQ(root.messagesOf("boss@example.com").size(), 1u);
  EXPECT_TRUE(root.messagesOf("ann@example.com").empty());
}

}  // namespace
}  // namespace mailsandbox::test
