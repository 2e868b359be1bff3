// Both sessions with STLS / STARTTLS and implicit TLS: the upgrade refused or broken fails before
// any credential goes out; a good upgrade carries the whole login through TLS.
#include <gtest/gtest.h>

#include <string>

#include "mail_device_test_support.h"
#include "platform/last_error.h"
#include "platform/tls.h"
#include "pop3_session.h"
#include "postwell/connection_security.h"
#include "scripted_server.h"
#include "temp_dir.h"
#include "tls_fixture.h"

namespace {

using postwell::ConnectionSecurity;
using testsupport::Script;
using testsupport::ScriptedServer;

class SessionTls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testsupport::TempDir;
    certs_ = new testsupport::TestCertificates(testsupport::makeTestCertificates(dir_->path()));
  }
  static void TearDownTestSuite() {
    delete certs_;
    delete dir_;
  }
  static postwell::TlsSettings settings(ConnectionSecurity mode) {
    postwell::TlsSettings s;
    s.mode = mode;
    s.caFile = certs_->caFile;
    return s;
  }
  static testsupport::TempDir* dir_;
  static testsupport::TestCertificates* certs_;
};
testsupport::TempDir* SessionTls::dir_ = nullptr;
testsupport::TestCertificates* SessionTls::certs_ = nullptr;

// What the server does where the upgrade should be.
enum class Fault { Refused, Garbage, Closed, Silence, NotOffered };

struct FaultCase {
  const char* name;
  bool smtp;
  ConnectionSecurity mode;
  Fault fault;
  unsigned long error;
};

class SessionTlsFault : public SessionTls, public ::testing::WithParamInterface<FaultCase> {};

void breakHandshake(Script& s, Fault fault) {
  if (fault == Fault::Garbage) s.send("+OK this is not TLS\r\n").silence();
  if (fault == Fault::Closed) s.close();
  if (fault == Fault::Silence) s.silence();
}

TEST_P(SessionTlsFault, FailsBeforeAnyCredentialIsSent) {
  const FaultCase& c = GetParam();
  ScriptedServer server;
  Script& s = server.connection();
  if (c.mode == ConnectionSecurity::Tls) {
    breakHandshake(s, c.fault);
  } else if (!c.smtp) {
    s.send("+OK ready\r\n").expect("STLS");
    if (c.fault == Fault::Refused)
      s.send("-ERR not now\r\n").expect("QUIT").send("+OK bye\r\n");
    else
      breakHandshake(s.send("+OK begin TLS\r\n"), c.fault);
  } else {
    s.send("220 mx.test ESMTP\r\n").expectPrefix("EHLO ");
    if (c.fault == Fault::NotOffered) {
      s.send("250-mx.test\r\n250-AUTH LOGIN\r\n250 8BITMIME\r\n")
          .expect("QUIT")
          .send("221 bye\r\n");
    } else {
      s.send("250-mx.test\r\n250-starttls\r\n250 AUTH LOGIN\r\n").expect("STARTTLS");
      if (c.fault == Fault::Refused)
        s.send("454 4.7.0 TLS not available\r\n").expect("QUIT").send("221 bye\r\n");
      else
        breakHandshake(s.send("220 2.0.0 Ready to start TLS\r\n"), c.fault);
    }
  }
  server.start();

  unsigned long error = 0;
  std::string description;
  int connected = 0;
  if (c.smtp) {
    smtptest::TestDevice device;
    device.SetSecurity(settings(c.mode));
    device.SetTimeout(700);
    connected =
        device.MailFunc_ConnectESMTP("127.0.0.1", "YWxpY2U=", "c2VjcmV0", server.port(), error);
    description = device.GetLastErrorDescription();
    EXPECT_FALSE(device.m_bConnected);
  } else {
    RecordingPop3Session session;
    session.SetSecurity(settings(c.mode));
    session.SetTimeout(700);
    connected = session.Connect("127.0.0.1", "alice", "secret", error, server.port());
    description = session.GetLastCommandResponse();
    EXPECT_FALSE(session.m_bConnected);
  }
  EXPECT_EQ(connected, 0);
  EXPECT_EQ(error, c.error) << description;
  EXPECT_EQ(platform::lastError(), c.error);
  if (c.fault == Fault::Silence) {
    EXPECT_NE(description.find("did not finish"), std::string::npos) << description;
  }
  ASSERT_TRUE(server.waitDone(5000));
  EXPECT_TRUE(server.mismatches().empty()) << server.mismatches().front();
  const std::string sent = server.received();
  for (const char* secret : {"USER", "PASS", "AUTH", "YWxpY2U=", "c2VjcmV0", "secret"})
    EXPECT_EQ(sent.find(secret), std::string::npos) << secret << " went out in: " << sent;
}

constexpr unsigned long kStls = 4950, kPopTls = 4951, kStartTls = 4952, kSmtpTls = 4953;

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionTlsFault,
    ::testing::Values(
        FaultCase{"Pop3StlsRefused", false, ConnectionSecurity::StartTls, Fault::Refused, kStls},
        FaultCase{"Pop3StlsGarbage", false, ConnectionSecurity::StartTls, Fault::Garbage, kPopTls},
        FaultCase{"Pop3StlsClosed", false, ConnectionSecurity::StartTls, Fault::Closed, kPopTls},
        FaultCase{"Pop3StlsSilence", false, ConnectionSecurity::StartTls, Fault::Silence, kPopTls},
        FaultCase{"Pop3sPlainServer", false, ConnectionSecurity::Tls, Fault::Garbage, kPopTls},
        FaultCase{"Pop3sSilence", false, ConnectionSecurity::Tls, Fault::Silence, kPopTls},
        FaultCase{"SmtpNotOffered", true, ConnectionSecurity::StartTls, Fault::NotOffered,
                  kStartTls},
        FaultCase{"SmtpRefused", true, ConnectionSecurity::StartTls, Fault::Refused, kStartTls},
        FaultCase{"SmtpGarbage", true, ConnectionSecurity::StartTls, Fault::Garbage, kSmtpTls},
        FaultCase{"SmtpClosed", true, ConnectionSecurity::StartTls, Fault::Closed, kSmtpTls},
        FaultCase{"SmtpSilence", true, ConnectionSecurity::StartTls, Fault::Silence, kSmtpTls},
        FaultCase{"SmtpsPlainServer", true, ConnectionSecurity::Tls, Fault::Garbage, kSmtpTls},
        FaultCase{"SmtpsClosed", true, ConnectionSecurity::Tls, Fault::Closed, kSmtpTls}),
    [](const auto& info) { return std::string(info.param.name); });

// A POP3 server that offers STLS (or speaks TLS at once) and then serves one message.
const std::string kMessage = "Subject: over TLS\r\n\r\nline one\r\n..dot line\r\n";

void pop3Server(testsupport::TlsServer::Session& s, bool implicit, std::string* transcript) {
  std::string line;
  if (implicit && !s.handshake()) return;
  s.send("+OK ready\r\n");
  while (s.readLine(line)) {
    *transcript += line + "\n";
    if (line == "STLS") {
      s.send("+OK begin\r\n");
      if (!s.handshake()) return;
    } else if (line == "STAT") {
      s.send("+OK 1 44\r\n");
    } else if (line == "LIST") {
      s.send("+OK\r\n1 44\r\n.\r\n");
    } else if (line == "RETR 1") {
      s.send("+OK\r\n" + kMessage + ".\r\n");
    } else if (line == "QUIT") {
      s.send("+OK bye\r\n");
      return;
    } else {
      s.send("+OK\r\n");
    }
  }
}

TEST_F(SessionTls, Pop3LogsInAndRetrievesThroughTls) {
  for (ConnectionSecurity mode : {ConnectionSecurity::StartTls, ConnectionSecurity::Tls}) {
    SCOPED_TRACE(postwell::connectionSecurityName(mode));
    std::string transcript;
    {
      testsupport::TlsServer server(certs_->serverCert, certs_->serverKey, [&](auto& s) {
        pop3Server(s, mode == ConnectionSecurity::Tls, &transcript);
      });
      RecordingPop3Session session;
      session.SetSecurity(settings(mode));
      unsigned long error = 0;
      ASSERT_EQ(session.Connect("localhost", "alice", "secret", error, server.port()), 1)
          << session.GetLastCommandResponse();
      CPop3Message message;
      ASSERT_EQ(session.Retrieve(1, message, error), 1) << session.GetLastCommandResponse();
      // The text as the plain session gives it: the reply's bytes up to the end mark.
      EXPECT_EQ(std::string(message.GetMessageText()), kMessage);
      EXPECT_EQ(session.Disconnect(), 1);
    }
    const std::string expected = std::string(mode == ConnectionSecurity::StartTls ? "STLS\n" : "") +
                                 "USER alice\nPASS secret\nSTAT\nLIST\nRETR 1\nQUIT\n";
    EXPECT_EQ(transcript, expected);
  }
}

// After STARTTLS the device greets again, and only then logs in; on the HELO road it says HELO.
TEST_F(SessionTls, SmtpGreetsAgainAfterStartTls) {
  for (bool esmtp : {true, false}) {
    SCOPED_TRACE(esmtp ? "EHLO and AUTH LOGIN" : "HELO");
    std::string transcript;
    {
      testsupport::TlsServer server(certs_->serverCert, certs_->serverKey, [&](auto& s) {
        std::string line;
        s.send("220 mx.test ESMTP\r\n");
        bool secured = false;
        while (s.readLine(line)) {
          transcript += (secured ? "tls: " : "") + line.substr(0, line.find(' ')) + "\n";
          if (line.rfind("EHLO ", 0) == 0) {
            s.send(secured ? "250-mx.test\r\n250 AUTH LOGIN\r\n"
                           : "250-mx.test\r\n250 STARTTLS\r\n");
          } else if (line == "STARTTLS") {
            s.send("220 go ahead\r\n");
            if (!(secured = s.handshake())) return;
          } else if (line == "AUTH LOGIN" || line == "YWxpY2U=") {
            s.send("334 VXNlcm5hbWU6\r\n");
          } else if (line == "c2VjcmV0") {
            s.send("235 ok\r\n");
          } else if (line == "QUIT") {
            s.send("221 bye\r\n");
            return;
          } else {
            s.send("250 ok\r\n");
          }
        }
      });
      smtptest::TestDevice device;
      device.SetSecurity(settings(ConnectionSecurity::StartTls));
      unsigned long error = 0;
      const int connected = esmtp ? device.MailFunc_ConnectESMTP(
                                        "localhost", "YWxpY2U=", "c2VjcmV0", server.port(), error)
                                  : device.MailFunc_Connect("localhost", server.port(), error);
      ASSERT_EQ(connected, 1) << device.GetLastErrorDescription();
      EXPECT_EQ(device.Disconnect(), 1);
    }
    EXPECT_EQ(
        transcript,
        esmtp ? "EHLO\nSTARTTLS\ntls: EHLO\ntls: AUTH\ntls: YWxpY2U=\ntls: c2VjcmV0\ntls: QUIT\n"
              : "EHLO\nSTARTTLS\ntls: HELO\ntls: QUIT\n");
  }
}

TEST(ConnectionSecurityNames, ReadBackAndRefuseUnknown) {
  struct {
    const char* text;
    bool known;
    ConnectionSecurity mode;
  } cases[] = {{"", true, ConnectionSecurity::None},
               {"none", true, ConnectionSecurity::None},
               {" STARTTLS ", true, ConnectionSecurity::StartTls},
               {"Tls", true, ConnectionSecurity::Tls},
               {"ssl", false, ConnectionSecurity::None},
               {"starttls\r\n", true, ConnectionSecurity::StartTls}};
  for (const auto& c : cases) {
    ConnectionSecurity mode = ConnectionSecurity::None;
    EXPECT_EQ(postwell::parseConnectionSecurity(c.text, mode), c.known) << c.text;
    if (c.known) {
      EXPECT_EQ(mode, c.mode) << c.text;
      ConnectionSecurity back = ConnectionSecurity::None;
      EXPECT_TRUE(postwell::parseConnectionSecurity(postwell::connectionSecurityName(mode), back));
      EXPECT_EQ(back, mode);
    }
  }
}

}  // namespace
