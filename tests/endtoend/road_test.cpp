// The whole road of a held message: vetrule's rule code writes the sign-off rule, the mail-server
// stand-in holds a supervised user's message for the supervisor, Signer fetches it, and the
// approved or returned message goes back through the stand-in to its recipients or its sender.
#include <gtest/gtest.h>

#include <QtTest>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "accounts.h"
#include "app/guided_tour.h"
#include "certificate.h"
#include "core/rule_file_writer.h"
#include "core/sign_off_rule.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "postwell/mail_device.h"
#include "postwell/smtp_message.h"
#include "server.h"
#include "signer_fixture.h"
#include "store/login_settings.h"
#include "temp_dir.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

namespace {

constexpr char kDomain[] = "corp.test";

std::string Address(const std::string& mailbox) { return mailbox + "@" + kDomain; }

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Road : public ::testing::Test {
 protected:
  void SetUp() override {
    mailsandbox::Accounts accounts(layout);
    platform::createDirectory(layout.appDirectory());
    for (const char* mailbox : {"ann", "cid", "bob", "dan", "boss"}) {
      std::string error;
      ASSERT_TRUE(accounts.addMailbox(Address(mailbox), std::string(mailbox) + "-pw", error)) << error;
    }
    // boss signs off the mail of ann and cid, as vetrule would save it.
    vetrule::SupervisorRecord boss{Address("boss"), {Address("cid"), Address("ann")}, {}};
    vetrule::RuleLists rules;
    ASSERT_TRUE(vetrule::saveRules({{boss.supervisorAddress, &boss}}, rules, layout.rulesFile()));

    std::string error;
    if (UseTls()) {
      ASSERT_TRUE(mailsandbox::ensureCertificate(layout.appDirectory() + "/tls", certificate, error)) << error;
      server.enableTls(certificate, 0, 0);
    }
    ASSERT_TRUE(server.start(0, 0, error)) << error;
    signer = std::make_unique<SignerFixture>(
        tagSignerOptions{.m_bCheckAtStart = false, .m_driverPeriod = std::chrono::milliseconds(300)});
    ASSERT_TRUE(signer->Start());
  }

  virtual bool UseTls() const { return false; }

  // The stand-in's events so far.
  std::string StandInLog() {
    std::fflush(logFile);
    std::rewind(logFile);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, logFile)) > 0;) text.append(buffer, n);
    return text;
  }

  void TearDown() override {
    signer.reset();
    server.stop();
  }

  // A user's mail client submits a message through the stand-in.
  // Sends the message without logging in; false with the server's reply when it is refused.
  bool TrySubmit(const std::string& sender, const std::vector<std::string>& recipients,
                 const std::string& text, std::string& reply) {
    const std::string file = root.file("outgoing-" + std::to_string(++submitted) + ".eml");
    testsupport::writeFile(file, text);
    CMailDevice device;
    unsigned long error = 0;
    if (!device.MailFunc_Connect("127.0.0.1", server.smtpPort(), error)) {
      reply = "connect failed: " + std::to_string(error);
      return false;
    }
    CSMTPMessage message;
    message.m_From.m_sAddress = Address(sender);
    for (const std::string& recipient : recipients) message.m_arrRecipient.push_back(Address(recipient));
    message.m_sContentFile = file;
    const bool sent = device.MailFunc_SendMailMessage(message, error) != 0;
    reply = device.GetLastCommandResponse();
    return sent;
  }

  void Submit(const std::string& sender, const std::vector<std::string>& recipients,
              const std::string& text) {
    std::string reply;
    ASSERT_TRUE(TrySubmit(sender, recipients, text, reply)) << reply;
  }

  std::vector<std::string> Mailbox(const std::string& mailbox) {
    std::vector<std::string> messages;
    const std::string dir = layout.mailboxDirectory(kDomain, mailbox);
    for (const platform::DirEntry& entry : platform::findFiles(dir + "/*.msg"))
      messages.push_back(testsupport::readFile(dir + "/" + entry.name));
    return messages;
  }

  void LogInAsSupervisor() {
    ASSERT_TRUE(signer->LogIn({.user = "boss", .password = "boss-pw", .pop3Port = server.pop3Port(),
                               .smtpPort = server.smtpPort(), .auth = true}));
  }

  CSignerApp& App() { return signer->App(); }

  bool QueueSent() {
    return QTest::qWaitFor(
        [&] {
          CQueueView* queue = App().m_pQueueView;
          for (int row = 0; row < queue->RowCount(); ++row)
            if (queue->Status(row) != SendStatus::kSent) return false;
          return queue->RowCount() > 0;
        },
        15000);
  }

  testsupport::TempDir root;
  mailsandbox::Layout layout{root.path()};
  std::FILE* logFile = std::tmpfile();
  mailsandbox::EventLog log{logFile};
  mailsandbox::Server server{layout, log};
  mailsandbox::Certificate certificate;
  std::unique_ptr<SignerFixture> signer;
  int submitted = 0;
};

const char kQuarterly[] =
    "From: Ann <ann@corp.test>\r\n"
    "To: bob@corp.test\r\n"
    "Cc: dan@corp.test\r\n"
    "Subject: Quarterly figures\r\n"
    "X-Mailer: Desk Mail 5\r\n"
    "\r\n"
    "The figures, for sign-off.\r\n";

TEST_F(Road, HeldMessageIsApprovedAndReachesItsRecipientsMarked) {
  // cid is a Bcc recipient: the envelope names it, the header does not.
  Submit("ann", {"bob", "dan", "cid"}, kQuarterly);
  ASSERT_EQ(Mailbox("boss").size(), 1u);
  EXPECT_TRUE(Mailbox("bob").empty()) << "the held message went through";

  LogInAsSupervisor();
  ASSERT_TRUE(QTest::qWaitFor([&] { return App().m_pTaskView->RowCount() == 1; }, 15000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Mailbox("boss").empty(); }, 15000));
  ASSERT_TRUE(App().ApproveTask(App().m_pTaskView->TaskId(0)));
  ASSERT_TRUE(QueueSent()) << signer->Title().toStdString();

  for (const char* recipient : {"bob", "dan", "cid"}) {
    const std::vector<std::string> got = Mailbox(recipient);
    ASSERT_EQ(got.size(), 1u) << recipient;
    EXPECT_TRUE(Contains(got[0], "Subject: Quarterly figures\r\n"
                                 "X-Sign: vandry!\r\nX-Sign-Stat: Approve By boss\r\n\r\n"
                                 "The figures, for sign-off.\r\n"))
        << got[0];
    EXPECT_FALSE(Contains(got[0], "X-Mailer")) << got[0];
    // The stand-in puts its own Received field on top; the held copy's (queue file 1) is gone.
    EXPECT_FALSE(Contains(got[0], "md5000000001.msg")) << got[0];
    // Nobody sees the Bcc recipient (below the trace field of the mailbox's own delivery).
    EXPECT_FALSE(Contains(got[0].substr(got[0].find("\r\n")), "cid@corp.test")) << got[0];
    EXPECT_FALSE(Contains(got[0], "X-Sign-Rcpt")) << got[0];
  }
  EXPECT_TRUE(Mailbox("boss").empty());
  EXPECT_TRUE(Mailbox("ann").empty());
}

TEST_F(Road, ApprovalSentWithoutLoginIsRefusedAndTheQueueShowsTheReply) {
  Submit("ann", {"bob"}, kQuarterly);
  ASSERT_TRUE(signer->LogIn({.user = "boss", .password = "boss-pw", .pop3Port = server.pop3Port(),
                             .smtpPort = server.smtpPort(), .auth = false}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return App().m_pTaskView->RowCount() == 1; }, 15000));
  ASSERT_TRUE(App().ApproveTask(App().m_pTaskView->TaskId(0)));
  CQueueView* queue = App().m_pQueueView;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return queue->RowCount() == 1 && queue->Status(0) == SendStatus::kRetry; }, 15000));
  EXPECT_TRUE(Contains(queue->Reply(0), "550 5.7.1 ")) << queue->Reply(0);
  EXPECT_TRUE(signer->Title().contains(QStringLiteral("5.7.1"))) << signer->Title().toStdString();
  EXPECT_TRUE(Mailbox("bob").empty());
  EXPECT_TRUE(Mailbox("boss").empty()) << "a refused approval must not come back as a new task";
}

TEST_F(Road, ReturnedMessageReachesItsSenderWithPrefixAndReason) {
  Submit("cid", {"bob"},
         "From: cid@corp.test\r\nTo: bob@corp.test\r\nSubject: Hello\r\n\r\nHi Bob.\r\n");
  LogInAsSupervisor();
  ASSERT_TRUE(QTest::qWaitFor([&] { return App().m_pTaskView->RowCount() == 1; }, 15000));
  ASSERT_TRUE(App().ReturnTask(App().m_pTaskView->TaskId(0), "请补充说明"));
  ASSERT_TRUE(QueueSent()) << signer->Title().toStdString();

  const std::vector<std::string> got = Mailbox("cid");
  ASSERT_EQ(got.size(), 1u);
  // "审核退回:Hello" and the reason "请补充说明", as UTF-8 encoded words.
  EXPECT_TRUE(Contains(got[0], "Subject: =?UTF-8?B?5a6h5qC46YCA5ZueOkhlbGxv?=\r\n")) << got[0];
  EXPECT_TRUE(Contains(got[0], "X-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n"
                               "X-Sign-Message: =?UTF-8?B?6K+36KGl5YWF6K+05piO?=\r\n\r\nHi Bob.\r\n"))
      << got[0];
  EXPECT_TRUE(Mailbox("bob").empty());
}

// The demo's guided tour runs by itself to its end: it logs in, reads one held message in the
// built-in viewer, approves it, returns the next, and both reach their recipients.
TEST_F(Road, GuidedTourRunsToItsEnd) {
  Submit("ann", {"bob"}, kQuarterly);
  Submit("cid", {"bob"}, "From: cid@corp.test\r\nTo: bob@corp.test\r\nSubject: Hello\r\n\r\nHi.\r\n");
  WriteLoginSettings({"boss", "127.0.0.1", server.pop3Port(), server.smtpPort(), true});
  testsupport::TempDir pictures;
  CGuidedTour tour(App(), {.m_strScreenshotDir = QString::fromStdString(pictures.path()),
                           .m_strPassword = QStringLiteral("boss-pw"),
                           .m_nTasks = 2,
                           .m_stepTimeout = std::chrono::seconds(15)});
  std::optional<bool> finished;
  QObject::connect(&tour, &CGuidedTour::Finished, [&](bool ok) { finished = ok; });
  App().PostCheckMailBox();
  tour.Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.has_value(); }, 90000));
  ASSERT_TRUE(*finished);

  // One of the two went to bob approved, the other back to its sender.
  const std::vector<std::string> approved = Mailbox("bob");
  ASSERT_EQ(approved.size(), 1u);
  EXPECT_TRUE(Contains(approved[0], "X-Sign-Stat: Approve By boss\r\n")) << approved[0];
  const std::vector<std::string> returned = Mailbox(Contains(approved[0], "Hello") ? "ann" : "cid");
  ASSERT_EQ(returned.size(), 1u);
  EXPECT_TRUE(Contains(returned[0], "X-Sign-Stat: Back By boss\r\n")) << returned[0];
  for (const char* picture :
       {"1-login", "2-tasks", "3-read", "4-approved", "5-reason", "6-returned", "7-sent"})
    EXPECT_TRUE(platform::fileExists(pictures.path() + "/" + picture + ".png")) << picture;
}

TEST_F(Road, MailOfUnsupervisedUsersIsDeliveredDirectlyAndAUsersOwnMarkerIsRefused) {
  Submit("dan", {"bob"}, "From: dan@corp.test\r\nTo: bob@corp.test\r\nSubject: Lunch\r\n\r\nNoon?\r\n");
  std::string reply;
  EXPECT_FALSE(TrySubmit(
      "ann", {"bob"},
      "From: ann@corp.test\r\nTo: bob@corp.test\r\nSubject: Signed\r\nX-Sign: vandry!\r\n\r\nOk.\r\n",
      reply));
  EXPECT_TRUE(reply.starts_with("550 5.7.1 ")) << reply;
  EXPECT_EQ(Mailbox("bob").size(), 1u);
  EXPECT_TRUE(Mailbox("boss").empty());

  LogInAsSupervisor();
  EXPECT_TRUE(QTest::qWaitFor([&] { return signer->Title().contains(QStringLiteral("boss")); }, 15000));
  EXPECT_EQ(App().m_pTaskView->RowCount(), 0);
}

// The same road with Signer's sessions over STARTTLS, pinned to the stand-in's own certificate.
class RoadOverStartTls : public Road {
 protected:
  bool UseTls() const override { return true; }
};

TEST_F(RoadOverStartTls, HeldMessageIsFetchedApprovedAndSentOverTls) {
  Submit("ann", {"bob"}, kQuarterly);
  ASSERT_EQ(Mailbox("boss").size(), 1u);
  platform::writePrivateProfileString("Login", "Security", "starttls", kSignerIni);
  platform::writePrivateProfileString("Login", "TlsPinSHA256", certificate.sha256.c_str(), kSignerIni);

  LogInAsSupervisor();
  ASSERT_TRUE(QTest::qWaitFor([&] { return App().m_pTaskView->RowCount() == 1; }, 15000));
  ASSERT_TRUE(App().ApproveTask(App().m_pTaskView->TaskId(0)));
  ASSERT_TRUE(QueueSent()) << signer->Title().toStdString();

  const std::vector<std::string> got = Mailbox("bob");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(Contains(got[0], "X-Sign-Stat: Approve By boss\r\n")) << got[0];
  const std::string events = StandInLog();
  EXPECT_TRUE(Contains(events, "STLS")) << events;
  EXPECT_TRUE(Contains(events, "STARTTLS")) << events;
  // The supervisor's first login came after the upgrade of its connection.
  const std::size_t login = events.find("logged in as boss@corp.test");
  ASSERT_NE(login, std::string::npos) << events;
  EXPECT_LT(events.find("TLS started"), login) << events;
}

}  // namespace
