// The road of two held messages, one approved and one returned with a reason, run once with
// Signer in Chinese and once in English: what reaches the recipients and the sender, and what
// Signer keeps on disk, is the same byte for byte; only the screen speaks another language.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QtTest>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "accounts.h"
#include "core/rule_file_writer.h"
#include "core/sign_off_rule.h"
#include "platform/files.h"
#include "postwell/mail_device.h"
#include "postwell/smtp_message.h"
#include "server.h"
#include "signer_fixture.h"
#include "store/decision_journal.h"
#include "store/login_settings.h"
#include "store/task_store.h"
#include "temp_dir.h"
#include "ui_language.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

namespace {

using uilanguage::Language;

constexpr char kDomain[] = "corp.test";

std::string Address(const std::string& mailbox) { return mailbox + "@" + kDomain; }

// What a run leaves behind, by name: the delivered messages and Signer's files.
using Outcome = std::map<std::string, std::string>;

// Times and dates differ from run to run; every run writes them in the same places.
std::string WithoutTimes(const std::string& text) {
  static const std::regex time(R"(\d{1,2}:\d{2}:\d{2})");
  static const std::regex date(R"(\d{4}-\d{2}-\d{2}|\d{1,2} [A-Z][a-z]{2} \d{4})");
  static const std::regex zone(R"([+-]\d{4})");
  return std::regex_replace(
      std::regex_replace(std::regex_replace(text, time, "<time>"), date, "<date>"), zone, "<zone>");
}

class LanguageRoad {
 public:
  explicit LanguageRoad(Language language) : m_language(language) {}
  ~LanguageRoad() {
    signer.reset();
    server.stop();
    std::fclose(logFile);
  }

  void Run(Outcome& outcome, QString& title) {
    ASSERT_TRUE(uilanguage::Install(m_language, QStringLiteral("signer")));
    mailsandbox::Accounts accounts(layout);
    platform::createDirectory(layout.appDirectory());
    for (const char* mailbox : {"ann", "cid", "bob", "dan", "boss"}) {
      std::string error;
      ASSERT_TRUE(accounts.addMailbox(Address(mailbox), std::string(mailbox) + "-pw", error))
          << error;
    }
    vetrule::SupervisorRecord boss{Address("boss"), {Address("cid"), Address("ann")}, {}};
    vetrule::RuleLists rules;
    ASSERT_TRUE(vetrule::saveRules({{boss.supervisorAddress, &boss}}, rules, layout.rulesFile()));
    std::string error;
    ASSERT_TRUE(server.start(0, 0, error)) << error;
    signer = std::make_unique<SignerFixture>(tagSignerOptions{
        .m_bCheckAtStart = false, .m_driverPeriod = std::chrono::milliseconds(300)});
    ASSERT_TRUE(signer->Start());

    Submit("ann", {"bob", "dan"},
           "From: Ann <ann@corp.test>\r\nTo: bob@corp.test\r\nCc: dan@corp.test\r\n"
           "Subject: Quarterly figures\r\n\r\nThe figures, for sign-off.\r\n");
    Submit("cid", {"bob"},
           "From: cid@corp.test\r\nTo: bob@corp.test\r\nSubject: =?UTF-8?B?5L2g5aW9?=\r\n\r\n"
           "Hi Bob.\r\n");
    ASSERT_TRUE(signer->LogIn({.user = "boss",
                               .password = "boss-pw",
                               .pop3Port = server.pop3Port(),
                               .smtpPort = server.smtpPort(),
                               .auth = true}));
    CSignerApp& app = signer->App();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.m_pTaskView->RowCount() == 2; }, 15000));
    std::string approved;
    std::string returned;
    for (int row = 0; row < 2; ++row) {
      const bool quarterly = app.m_pTaskView->CellText(row, 2) == "Quarterly figures";
      (quarterly ? approved : returned) = app.m_pTaskView->TaskId(row);
    }
    ASSERT_FALSE(approved.empty());
    ASSERT_FALSE(returned.empty());
    ASSERT_TRUE(app.ApproveTask(approved));
    ASSERT_TRUE(app.ReturnTask(returned, "请补充说明"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          CQueueView* queue = app.m_pQueueView;
          for (int row = 0; row < queue->RowCount(); ++row)
            if (queue->Status(row) != SendStatus::kSent) return false;
          return queue->RowCount() == 2;
        },
        15000))
        << signer->Title().toStdString();

    title = signer->Title();
    for (const char* mailbox : {"bob", "dan", "cid", "ann", "boss"}) {
      const std::vector<std::string> messages = Mailbox(mailbox);
      for (std::size_t i = 0; i < messages.size(); ++i)
        outcome[std::string(mailbox) + "#" + std::to_string(i)] = WithoutTimes(messages[i]);
    }
    outcome["decisions"] = WithoutTimes(testsupport::readFile(DecisionJournalPath("HOME_boss")));
    // The stand-in listens on ports of its own in each run.
    std::string ini = testsupport::readFile(kSignerIni);
    for (const int port : {server.pop3Port(), server.smtpPort()}) {
      const std::string number = "=" + std::to_string(port) + "\r\n";
      if (const std::size_t at = ini.find(number); at != std::string::npos)
        ini.replace(at, number.size(), "=<port>\r\n");
    }
    outcome["Signer.ini"] = ini;
  }

 private:
  void Submit(const std::string& sender, const std::vector<std::string>& recipients,
              const std::string& text) {
    const std::string file = root.file("outgoing-" + sender + ".eml");
    testsupport::writeFile(file, text);
    CMailDevice device;
    unsigned long error = 0;
    ASSERT_TRUE(device.MailFunc_Connect("127.0.0.1", server.smtpPort(), error)) << error;
    CSMTPMessage message;
    message.m_From.m_sAddress = Address(sender);
    for (const std::string& recipient : recipients)
      message.m_arrRecipient.push_back(Address(recipient));
    message.m_sContentFile = file;
    ASSERT_TRUE(device.MailFunc_SendMailMessage(message, error))
        << device.GetLastErrorDescription();
  }

  // The mailbox's messages in the order of their text, which does not depend on timing.
  std::vector<std::string> Mailbox(const std::string& mailbox) {
    std::vector<std::string> messages;
    const std::string dir = layout.mailboxDirectory(kDomain, mailbox);
    for (const platform::DirEntry& entry : platform::findFiles(dir + "/*.msg"))
      messages.push_back(testsupport::readFile(dir + "/" + entry.name));
    std::sort(messages.begin(), messages.end());
    return messages;
  }

  Language m_language;
  testsupport::TempDir root;
  mailsandbox::Layout layout{root.path()};
  std::FILE* logFile = std::tmpfile();
  mailsandbox::EventLog log{logFile};
  mailsandbox::Server server{layout, log};
  std::unique_ptr<SignerFixture> signer;
};

TEST(RoadInEachLanguage, EnglishScreenSameMessagesAndFilesAsChinese) {
  Outcome chinese;
  Outcome english;
  QString chineseTitle;
  QString englishTitle;
  {
    LanguageRoad road(Language::kChinese);
    road.Run(chinese, chineseTitle);
  }
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  {
    LanguageRoad road(Language::kEnglish);
    road.Run(english, englishTitle);
  }
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  uilanguage::Install(Language::kChinese, QStringLiteral("signer"));

  // The screens differed...
  // (A returned message may have come back as a new task by then: the count is each language's.)
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^主管签审 - boss( - \\d+ 待审)?$"))
                  .match(chineseTitle)
                  .hasMatch())
      << chineseTitle.toStdString();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Supervisor Sign-off - boss( - \\d+ to sign off)?$"))
                  .match(englishTitle)
                  .hasMatch())
      << englishTitle.toStdString();
  // ...what went over the wire and onto the disk did not.
  ASSERT_EQ(english.size(), chinese.size());
  for (const auto& [name, text] : chinese) {
    ASSERT_TRUE(english.count(name)) << name;
    EXPECT_EQ(english[name], text) << name;
  }
  // The returned message carries the prefix and the reason as they are in Chinese.
  const std::string& returned = chinese.at("cid#0");
  EXPECT_NE(returned.find("Subject: =?UTF-8?B?"), std::string::npos) << returned;
  EXPECT_NE(returned.find("X-Sign-Stat: Back By boss\r\n"), std::string::npos) << returned;
  EXPECT_NE(returned.find("X-Sign-Message: =?UTF-8?B?6K+36KGl5YWF6K+05piO?="), std::string::npos)
      << returned;
  EXPECT_NE(chinese.at("bob#0").find("X-Sign-Stat: Approve By boss\r\n"), std::string::npos);
}

}  // namespace
