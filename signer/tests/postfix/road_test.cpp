// The whole road on real servers: held messages in the supervisor's Dovecot mailbox are fetched,
// approved or returned, and delivered by Postfix with the marker lines.
#include <gtest/gtest.h>

#include "real_servers.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

namespace {

const std::string kHeld =
    "Received: from pc1.example.test by mail.example.test with ESMTP id md50000000001.msg\r\n"
    "X-MDRemoteIP: 10.0.0.5\r\n"
    "From: \"Alice Wang\" <alice@example.test>\r\n"
    "To: Bob <bob@example.test>\r\n"
    "Cc: alice@example.test\r\n"
    "Subject: Quarterly figures\r\n"
    "Date: Wed, 9 Dec 2026 10:00:00 +0000\r\n"
    "Message-ID: <figures@pc1.example.test>\r\n"
    "\r\n"
    "The figures, for sign-off.\r\n"
    ".a line that starts with a dot\r\n";

const std::string kReturned =
    "Received: from pc1.example.test by mail.example.test with ESMTP id md50000000002.msg\r\n"
    "From: alice@example.test\r\n"
    "To: bob@example.test\r\n"
    "Subject: Hello\r\n"
    "Date: Wed, 9 Dec 2026 10:05:00 +0000\r\n"
    "Message-ID: <hello@pc1.example.test>\r\n"
    "\r\n"
    "Hi Bob.\r\n";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Road : public dovecot::Test {
 protected:
  void SetUp() override {
    dovecot::Test::SetUp();
    if (IsSkipped() || HasFailure()) return;
    std::string why;
    smtpPort = realservers::FindPostfix(why);
    if (smtpPort == 0) SKIP_OR_FAIL_WITHOUT_PEER(why);
    for (const char* user : {"alice", "bob", "boss"}) peer.clear(user);
    signer = std::make_unique<SignerFixture>(tagSignerOptions{
        .m_bCheckAtStart = false, .m_driverPeriod = std::chrono::milliseconds(300)});
    ASSERT_TRUE(signer->Start());
  }
  void TearDown() override { signer.reset(); }

  CSignerApp& App() { return signer->App(); }
  QStringList Statuses() {
    QStringList statuses;
    for (int row = 0; row < App().m_pQueueView->RowCount(); ++row)
      statuses << QString::fromUtf8(SendStatusText(App().m_pQueueView->Status(row)));
    return statuses;
  }

  int smtpPort = 0;
  std::unique_ptr<SignerFixture> signer;
};

TEST_F(Road, ApprovedReachesItsRecipientsAndReturnedReachesItsSender) {
  peer.deliver("boss", kHeld);
  peer.deliver("boss", kReturned);
  ASSERT_TRUE(signer->LogIn({.user = "boss",
                             .password = "boss-secret",
                             .pop3Port = peer.port(),
                             .smtpPort = smtpPort,
                             .auth = true}));
  ASSERT_TRUE(realservers::WaitFor([&] { return App().m_pTaskView->RowCount() == 2; }));
  ASSERT_EQ(App().m_pTaskView->TaskId(1), "QV000000001");

  ASSERT_TRUE(App().ApproveTask("QV000000001"));
  ASSERT_TRUE(App().ReturnTask("QV000000002", "请补充说明"));
  ASSERT_TRUE(realservers::WaitFor([&] {
    return Statuses() == QStringList({"完成", "完成"});
  })) << Statuses().join(u',').toStdString()
      << " " << signer->Title().toStdString();

  const std::vector<std::string> toBob = realservers::Delivered(peer.port(), "bob", 1);
  ASSERT_EQ(toBob.size(), 1u);
  const std::string& approved = toBob[0];
  EXPECT_TRUE(Contains(approved, "Subject: Quarterly figures\r\n"));
  // Fetched over POP3, a line that starts with a dot comes with its dot doubled.
  EXPECT_TRUE(Contains(approved,
                       "Message-ID: <figures@pc1.example.test>\r\n"
                       "X-Sign: vandry!\r\nX-Sign-Stat: Approve By boss\r\n\r\n"
                       "The figures, for sign-off.\r\n..a line that starts with a dot\r\n"))
      << approved;
  EXPECT_FALSE(Contains(approved, "md50000000001")) << approved;
  EXPECT_FALSE(Contains(approved, "X-MDRemoteIP"));

  // Alice gets the copy of the approved message and the returned one.
  const std::vector<std::string> toAlice = realservers::Delivered(peer.port(), "alice", 2);
  ASSERT_EQ(toAlice.size(), 2u);
  const std::string& returned = Contains(toAlice[0], "Hello") ? toAlice[0] : toAlice[1];
  // "审核退回:Hello" and the reason "请补充说明", as UTF-8 encoded words.
  EXPECT_TRUE(Contains(returned, "Subject: =?UTF-8?B?5a6h5qC46YCA5ZueOkhlbGxv?=\r\n"));
  EXPECT_TRUE(Contains(returned,
                       "X-Sign: vandry!\r\nX-Sign-Stat: Back By boss\r\n"
                       "X-Sign-Message: =?UTF-8?B?6K+36KGl5YWF6K+05piO?=\r\n\r\nHi Bob.\r\n"));
  EXPECT_TRUE(Contains(returned, "Return-Path: <boss@example.test>"));
  EXPECT_TRUE(realservers::Delivered(peer.port(), "bob", 0).empty());
}

}  // namespace
