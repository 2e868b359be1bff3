// The road through the sign-off gate: Postfix's submission service with the gate as its milter
// holds alice's mail in boss's Dovecot mailbox, Signer approves or returns it, and only boss's
// logged-in approval passes the gate.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include "core/rule_file_writer.h"
#include "core/sign_off_rule.h"
#include "groundkit/groundkit.h"
#include "milter_client.h"
#include "postwell/mail_device.h"
#include "postwell/smtp_message.h"
#include "real_servers.h"
#include "temp_dir.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Base64(const std::string& text) {
  std::string encoded(BSCFEM_Base64BufferSize(text.size()), '\0');
  unsigned long length = 0;
  BSCFEM_EncodeBase64(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                      encoded.data(), encoded.size(), length);
  encoded.resize(length);
  std::erase_if(encoded, [](char c) { return c == '\r' || c == '\n'; });
  return encoded;
}

const char kFigures[] =
    "From: Alice <alice@example.test>\r\n"
    "To: Bob <bob@example.test>\r\n"
    "Subject: Figures\r\n"
    "Message-ID: <figures@pc1.example.test>\r\n"
    "\r\n"
    "The figures, for sign-off.\r\n";

class GateRoad : public dovecot::Test {
 protected:
  void SetUp() override {
    dovecot::Test::SetUp();
    if (IsSkipped() || HasFailure()) return;
    std::string why;
    const int postfixPort = realservers::FindPostfix(why);
    if (postfixPort == 0) SKIP_OR_FAIL_WITHOUT_PEER(why);
    // The gated submission service and its milter, as scripts/peers/postfix.sh sets them up.
    submissionPort = postfixPort + 3;
    gatePort = postfixPort + 4;
    for (const char* user : {"alice", "bob", "boss", "carol"}) peer.clear(user);
    WriteRules({"alice@example.test"});
    StartGate();
    signer = std::make_unique<SignerFixture>(tagSignerOptions{
        .m_bCheckAtStart = false, .m_driverPeriod = std::chrono::milliseconds(300)});
    ASSERT_TRUE(signer->Start());
  }
  void TearDown() override { signer.reset(); }

  // boss signs off for the users, saved as vetrule saves it.
  void WriteRules(std::list<std::string> users) {
    vetrule::SupervisorRecord boss{"boss@example.test", std::move(users), {}};
    vetrule::RuleLists lists;
    ASSERT_TRUE(vetrule::saveRules({{boss.supervisorAddress, &boss}}, lists, RulesFile()));
  }
  std::string RulesFile() const { return dir.file("cfrules.dat"); }
  void StartGate() {
    gate = std::make_unique<milterclient::GateProcess>(RulesFile(), dir.file("gate.log"), gatePort);
  }

  // Submits as the user, logged in; false with the server's reply when it is refused.
  bool Submit(const std::string& user, const std::string& sender,
              const std::vector<std::string>& recipients, const std::string& text,
              std::string& reply) {
    const std::string file = dir.file("outgoing-" + std::to_string(++submitted) + ".eml");
    testsupport::writeFile(file, text);
    CMailDevice device;
    unsigned long error = 0;
    if (!device.MailFunc_ConnectESMTP("127.0.0.1", Base64(user).c_str(),
                                      Base64(user + "-secret").c_str(), submissionPort, error)) {
      reply = device.GetLastCommandResponse() + " (" + std::to_string(error) + ")";
      return false;
    }
    CSMTPMessage message;
    message.m_From.m_sAddress = sender;
    for (const std::string& recipient : recipients) message.m_arrRecipient.push_back(recipient);
    message.m_sContentFile = file;
    const bool sent = device.MailFunc_SendMailMessage(message, error) != 0;
    reply = device.GetLastCommandResponse();
    return sent;
  }
  void SubmitOk(const std::string& user, const std::string& sender,
                const std::vector<std::string>& recipients, const std::string& text) {
    std::string reply;
    ASSERT_TRUE(Submit(user, sender, recipients, text, reply)) << reply;
  }

  void LogInAsBoss(bool auth = true) {
    ASSERT_TRUE(signer->LogIn({.user = "boss",
                               .password = "boss-secret",
                               .pop3Port = peer.port(),
                               .smtpPort = submissionPort,
                               .auth = auth}));
  }
  CSignerApp& App() { return signer->App(); }
  bool QueueSent() {
    return realservers::WaitFor([&] {
      CQueueView* queue = App().m_pQueueView;
      for (int row = 0; row < queue->RowCount(); ++row)
        if (queue->Status(row) != SendStatus::kSent) return false;
      return queue->RowCount() > 0;
    });
  }
  std::vector<std::string> Delivered(const std::string& user, std::size_t count) {
    return realservers::Delivered(peer.port(), user, count);
  }
  // Nothing more arrives for the user in a while.
  bool NothingFor(const std::string& user) {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    return realservers::TakeAll(peer.port(), user).empty();
  }
  std::string GateLog() { return testsupport::readFile(dir.file("gate.log")); }

  testsupport::TempDir dir;
  int submissionPort = 0;
  int gatePort = 0;
  int submitted = 0;
  std::unique_ptr<milterclient::GateProcess> gate;
  std::unique_ptr<SignerFixture> signer;
};

TEST_F(GateRoad, HeldForTheSupervisorThenApprovedToEveryRecipientBccIncluded) {
  // carol is a Bcc recipient: the envelope names her, the header does not.
  SubmitOk("alice", "alice@example.test", {"bob@example.test", "carol@example.test"}, kFigures);
  const std::vector<std::string> held = Delivered("boss", 1);
  ASSERT_EQ(held.size(), 1u) << GateLog();
  EXPECT_TRUE(Contains(held[0], "X-Sign-Rcpt: carol@example.test\r\n")) << held[0];
  EXPECT_TRUE(NothingFor("bob"));
  EXPECT_TRUE(NothingFor("carol"));
  // Put back for Signer, which fetches the held copy itself.
  peer.deliver("boss", held[0]);

  LogInAsBoss();
  ASSERT_TRUE(realservers::WaitFor([&] { return App().m_pTaskView->RowCount() == 1; }));
  ASSERT_TRUE(App().ApproveTask(App().m_pTaskView->TaskId(0)));
  ASSERT_TRUE(QueueSent()) << signer->Title().toStdString() << GateLog();

  for (const char* user : {"bob", "carol"}) {
    const std::vector<std::string> got = Delivered(user, 1);
    ASSERT_EQ(got.size(), 1u) << user;
    EXPECT_TRUE(Contains(got[0], "X-Sign: vandry!\r\nX-Sign-Stat: Approve By boss\r\n")) << got[0];
    EXPECT_FALSE(Contains(got[0], "X-Sign-Rcpt")) << got[0];
    EXPECT_FALSE(Contains(got[0], ".msg")) << "the held copy's trace field went: " << got[0];
    // Nobody sees the Bcc recipient outside the trace of their own delivery.
    EXPECT_FALSE(Contains(got[0].substr(got[0].find("\r\nFrom: ")), "carol")) << got[0];
  }
  EXPECT_TRUE(Contains(GateLog(), "passed: approved by boss@example.test for alice@example.test"))
      << GateLog();
  EXPECT_TRUE(NothingFor("boss")) << "the approval came back as a new task";
}

TEST_F(GateRoad, AReturnReachesTheSender) {
  SubmitOk("alice", "alice@example.test", {"bob@example.test"}, kFigures);
  ASSERT_EQ(Delivered("boss", 1).size(), 1u) << GateLog();
  peer.clear("boss");
  SubmitOk("alice", "alice@example.test", {"bob@example.test"}, kFigures);
  LogInAsBoss();
  ASSERT_TRUE(realservers::WaitFor([&] { return App().m_pTaskView->RowCount() == 1; }));
  ASSERT_TRUE(App().ReturnTask(App().m_pTaskView->TaskId(0), "请补充说明"));
  ASSERT_TRUE(QueueSent()) << signer->Title().toStdString() << GateLog();
  const std::vector<std::string> got = Delivered("alice", 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(Contains(got[0], "X-Sign-Stat: Back By boss\r\n")) << got[0];
  EXPECT_TRUE(NothingFor("bob"));
  EXPECT_TRUE(Contains(GateLog(), "passed: returned by boss@example.test")) << GateLog();
}

TEST_F(GateRoad, MailOfAUserWithoutARulePassesUntouched) {
  const std::string text = "From: bob@example.test\r\nTo: alice@example.test\r\nSubject: Lunch\r\n\r\nNoon?\r\n";
  SubmitOk("bob", "bob@example.test", {"alice@example.test"}, text);
  const std::vector<std::string> got = Delivered("alice", 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(Contains(got[0], "Subject: Lunch\r\n")) << got[0];
  EXPECT_FALSE(Contains(got[0], ".msg")) << got[0];
  EXPECT_FALSE(Contains(got[0], "X-Sign")) << got[0];
  EXPECT_TRUE(NothingFor("boss"));
}

TEST_F(GateRoad, TheUsersOwnMarkerAndAReplayedApprovalAreRefused) {
  std::string marked = kFigures;
  marked.insert(marked.find("\r\n\r\n") + 2, "X-Sign: vandry!\r\nX-Sign-Stat: Approve By boss\r\n");
  std::string reply;
  EXPECT_FALSE(Submit("alice", "alice@example.test", {"bob@example.test"}, marked, reply));
  EXPECT_TRUE(reply.starts_with("550 5.7.1 ")) << reply;

  // boss's approval passes; alice sends the delivered copy again.
  SubmitOk("boss", "alice@example.test", {"bob@example.test"}, marked);
  const std::vector<std::string> approved = Delivered("bob", 1);
  ASSERT_EQ(approved.size(), 1u);
  EXPECT_FALSE(Submit("alice", "alice@example.test", {"carol@example.test"}, approved[0], reply));
  EXPECT_TRUE(reply.starts_with("550 5.7.1 ")) << reply;
  EXPECT_TRUE(NothingFor("carol"));
  EXPECT_TRUE(NothingFor("boss")) << "a refused approval must not come back as a new task";
  EXPECT_TRUE(Contains(GateLog(), "refused: approval marker from alice@example.test")) << GateLog();
}

TEST_F(GateRoad, AnApprovalWithoutLoginIsRefusedAndSignerShowsTheReply) {
  SubmitOk("alice", "alice@example.test", {"bob@example.test"}, kFigures);
  LogInAsBoss(false);
  ASSERT_TRUE(realservers::WaitFor([&] { return App().m_pTaskView->RowCount() == 1; }));
  ASSERT_TRUE(App().ApproveTask(App().m_pTaskView->TaskId(0)));
  CQueueView* queue = App().m_pQueueView;
  ASSERT_TRUE(realservers::WaitFor(
      [&] { return queue->RowCount() == 1 && queue->Status(0) == SendStatus::kRetry; }));
  EXPECT_TRUE(Contains(queue->Reply(0), "5.7.1")) << queue->Reply(0);
  EXPECT_TRUE(NothingFor("bob"));
}

TEST_F(GateRoad, ARuleFileChangedWhilePostfixRunsAppliesToTheNextMessage) {
  const std::string text = "From: bob@example.test\r\nTo: carol@example.test\r\nSubject: One\r\n\r\nx\r\n";
  SubmitOk("bob", "bob@example.test", {"carol@example.test"}, text);
  ASSERT_EQ(Delivered("carol", 1).size(), 1u);
  WriteRules({"bob@example.test", "alice@example.test"});
  SubmitOk("bob", "bob@example.test", {"carol@example.test"}, text);
  EXPECT_EQ(Delivered("boss", 1).size(), 1u) << GateLog();
  EXPECT_TRUE(NothingFor("carol"));
}

TEST_F(GateRoad, WithoutTheGatePostfixDefersAndTheRetrySucceedsOnceItIsBack) {
  gate->kill();
  std::string reply;
  EXPECT_FALSE(Submit("alice", "alice@example.test", {"bob@example.test"}, kFigures, reply));
  EXPECT_TRUE(reply.starts_with("4")) << reply;
  EXPECT_TRUE(NothingFor("bob"));
  EXPECT_TRUE(NothingFor("boss"));

  StartGate();
  SubmitOk("alice", "alice@example.test", {"bob@example.test"}, kFigures);
  EXPECT_EQ(Delivered("boss", 1).size(), 1u) << GateLog();
  EXPECT_TRUE(NothingFor("bob"));
}

TEST_F(GateRoad, ATruncatedOrUnreadableRuleFileDefersMail) {
  const std::string rules = testsupport::readFile(RulesFile());
  testsupport::writeFile(RulesFile(), rules.substr(0, rules.size() - 5));
  std::string reply;
  EXPECT_FALSE(Submit("alice", "alice@example.test", {"bob@example.test"}, kFigures, reply));
  EXPECT_TRUE(reply.starts_with("451 4.3.0 ")) << reply;

  // A folder where the file should be cannot be read, by root either.
  std::remove(RulesFile().c_str());
  ASSERT_EQ(::mkdir(RulesFile().c_str(), 0700), 0);
  EXPECT_FALSE(Submit("bob", "bob@example.test", {"alice@example.test"}, kFigures, reply));
  EXPECT_TRUE(reply.starts_with("451 4.3.0 ")) << reply;
  EXPECT_TRUE(NothingFor("bob"));
  EXPECT_TRUE(NothingFor("alice"));
  EXPECT_TRUE(NothingFor("boss"));
  ::rmdir(RulesFile().c_str());
}

}  // namespace
