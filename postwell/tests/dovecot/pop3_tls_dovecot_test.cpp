// The POP3 session over TLS against the test Dovecot: STLS on its port, POP3S on port+1; its
// certificate names localhost, 127.0.0.1 and 127.0.0.2 but not 127.0.0.3.
#include <gtest/gtest.h>

#include <string>

#include "dovecot_peer.h"
#include "postwell/connection_security.h"
#include "postwell/pop3_connection.h"
#include "temp_dir.h"

namespace {

class Session : public CPop3Connection {
 public:
  void SetDeviceStatus(const char* status) override { statuses.emplace_back(status); }
  std::vector<std::string> statuses;
};

struct Pop3TlsCase {
  const char* name;
  const char* host;
  int portOffset;
  postwell::ConnectionSecurity mode;
  bool withCa;
  int pin;              // 0 none, 1 the server's fingerprint, 2 a wrong one
  unsigned long error;  // 0: logs in and retrieves
  const char* failureHas;
};

class DovecotTls : public dovecot::Test, public ::testing::WithParamInterface<Pop3TlsCase> {};

const std::string kMessage =
    "From: bob@example.test\nTo: alice@example.test\nSubject: over TLS\n\n.dot\nbody\n";

TEST_P(DovecotTls, RetrievesOnlyOverAVerifiedConnection) {
  const Pop3TlsCase& c = GetParam();
  peer.deliver("alice", kMessage);
  const std::string tls = std::string(std::getenv("MAILSIGNOFF_DOVECOT_DIR")) + "/tls/";
  postwell::TlsSettings settings;
  settings.mode = c.mode;
  if (c.withCa) settings.caFile = tls + "ca.pem";
  if (c.pin == 1) settings.pinnedSha256 = testsupport::readFile(tls + "server.sha256");
  if (c.pin == 2) settings.pinnedSha256 = std::string(64, 'A');
  while (!settings.pinnedSha256.empty() && settings.pinnedSha256.back() == '\n')
    settings.pinnedSha256.pop_back();

  Session session;
  session.SetSecurity(settings);
  unsigned long error = 0;
  const int connected =
      session.Connect(c.host, "alice", "alice-secret", error, peer.port() + c.portOffset);
  if (c.error != 0) {
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(error, c.error) << session.GetLastCommandResponse();
    EXPECT_NE(session.GetLastCommandResponse().find(c.failureHas), std::string::npos)
        << session.GetLastCommandResponse();
    for (const std::string& status : session.statuses)
      EXPECT_EQ(status.find("USER"), std::string::npos) << status;
    return;
  }
  ASSERT_EQ(connected, 1) << session.GetLastCommandResponse();
  CPop3Message message;
  ASSERT_EQ(session.Retrieve(1, message, error), 1) << session.GetLastCommandResponse();
  EXPECT_EQ(std::string(message.GetMessageText()), dovecot::asRetrieved(kMessage));
  EXPECT_EQ(session.Disconnect(), 1);
}

using postwell::ConnectionSecurity;
INSTANTIATE_TEST_SUITE_P(
    Cases, DovecotTls,
    ::testing::Values(
        Pop3TlsCase{"Stls", "127.0.0.1", 0, ConnectionSecurity::StartTls, true, 0, 0, ""},
        Pop3TlsCase{"StlsFromAnotherAddress", "127.0.0.2", 0, ConnectionSecurity::StartTls, true, 0,
                    0, ""},
        Pop3TlsCase{"Pop3s", "localhost", 1, ConnectionSecurity::Tls, true, 0, 0, ""},
        Pop3TlsCase{"PinnedFingerprint", "127.0.0.1", 1, ConnectionSecurity::Tls, false, 1, 0, ""},
        Pop3TlsCase{"WrongName", "127.0.0.3", 0, ConnectionSecurity::StartTls, true, 0, 4951,
                    "IP address mismatch"},
        Pop3TlsCase{"UntrustedCertificate", "127.0.0.1", 1, ConnectionSecurity::Tls, false, 0, 4951,
                    "unable to get local issuer certificate"},
        Pop3TlsCase{"WrongPin", "127.0.0.1", 0, ConnectionSecurity::StartTls, false, 2, 4951,
                    "pinned fingerprint"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
