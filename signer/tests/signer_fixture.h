#pragma once
// A running Signer in a fresh current directory, logged in through its login dialog, and the
// replies of a POP3 server that holds sign-off tasks.

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>
#include <string>

#include "app/main_frame.h"
#include "app/resource.h"
#include "app/signer_app.h"
#include "login/login_prompt.h"
#include "mailbox/check_mailbox.h"
#include "scripted_server.h"
#include "temp_dir.h"
#include "working_dir.h"

struct tagTestLogin {
  std::string user = "boss";
  std::string password = "boss-secret";
  int pop3Port = 110;
  int smtpPort = 25;
  bool auth = false;
};

class SignerFixture {
 public:
  explicit SignerFixture(const tagSignerOptions& options = {.m_bCheckAtStart = false})
      : m_options(options), m_app(std::make_unique<CSignerApp>(options)) {}

  // Starts the program; false when its window does not show.
  bool Start() { return m_app->InitInstance() && QTest::qWaitForWindowExposed(m_app->MainFrame()); }
  CSignerApp& App() { return *m_app; }
  // Stops the program, waiting for its workers.
  void Stop() { m_app.reset(); }
  // Stops the program and starts it again in the same directory.
  bool Restart() {
    m_app.reset();
    m_app = std::make_unique<CSignerApp>(m_options);
    return Start();
  }

  // Waits for the login dialog and fills it in; OK unless cancel is set. False when it did not
  // show.
  bool AnswerLogin(const tagTestLogin& login, bool cancel = false) {
    CLogin& dialog = m_app->LoginPrompt()->Dialog();
    if (!QTest::qWaitFor([&] { return dialog.isVisible(); }, 10000)) return false;
    Edit(dialog, "user")->setText(QString::fromStdString(login.user));
    Edit(dialog, "password")->setText(QString::fromStdString(login.password));
    Edit(dialog, "server")->setText(QStringLiteral("127.0.0.1"));
    Edit(dialog, "pop3Port")->setText(QString::number(login.pop3Port));
    Edit(dialog, "smtpPort")->setText(QString::number(login.smtpPort));
    dialog.findChild<QCheckBox*>(QStringLiteral("auth"))->setChecked(login.auth);
    const char* button = cancel ? "cancel" : "ok";
    QTest::mouseClick(dialog.findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
    return !dialog.isVisible();
  }
  // Asks for a check and logs in.
  bool LogIn(const tagTestLogin& login) {
    m_app->PostCheckMailBox();
    return AnswerLogin(login);
  }

  // Takes the account as a login that was not refused, without a server: its store is listed and
  // its tasks may be decided. False when deciding is not possible then.
  bool UseAccount(const tagSignerAccount& account) {
    m_app->SetAccount(account);
    CCheckMailBox* worker = m_app->CheckMailBox();
    const std::string user = account.m_strUserName;
    QMetaObject::invokeMethod(
        worker, [worker, user] { worker->ShowStore(user); }, Qt::BlockingQueuedConnection);
    m_app->SetOnline(true);
    return QTest::qWaitFor([this] { return m_app->CanDecide(); }, 5000);
  }

  QString Title() const { return m_app->MainFrame()->windowTitle(); }

 private:
  static QLineEdit* Edit(QWidget& dialog, const char* name) {
    return dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
  }

  ScopedWorkingDir m_dir;
  tagSignerOptions m_options;
  std::unique_ptr<CSignerApp> m_app;
};

// A held message as the mail server puts it into the supervisor's mailbox.
inline std::string HeldMessage(const std::string& subject, const std::string& queueFile) {
  return "Received: from pc1.example.test by mail.example.test with ESMTP id " + queueFile +
         ".msg\r\n\tfor <boss@example.test>\r\n"
         "From: \"Alice\" <alice@example.test>\r\nTo: bob@example.test\r\nCc: "
         "carol@example.test\r\n"
         "Subject: " +
         subject + "\r\n\r\nPlease send this.\r\n";
}

inline testsupport::Script& Pop3LogIn(testsupport::Script& script,
                                      const std::string& password = "boss-secret") {
  return script.send("+OK ready\r\n")
      .expect("USER boss")
      .send("+OK\r\n")
      .expect("PASS " + password);
}

// The replies to STAT and to the LIST that the session sends before its first RETR.
inline testsupport::Script& Pop3List(testsupport::Script& script, std::size_t count) {
  const std::string stat =
      "+OK " + std::to_string(count) + " " + std::to_string(100 * count) + "\r\n";
  script.expect("STAT").send(stat);
  if (count == 0) return script;
  std::string list = "+OK\r\n";
  for (std::size_t i = 1; i <= count; ++i) list += std::to_string(i) + " 100\r\n";
  return script.expect("STAT").send(stat).expect("LIST").send(list + ".\r\n");
}

// A mailbox session that downloads and deletes the messages, and logs out.
inline testsupport::Script& Pop3Download(testsupport::Script& script,
                                         const std::vector<std::string>& messages) {
  Pop3List(Pop3LogIn(script).send("+OK logged in\r\n"), messages.size());
  for (std::size_t i = 1; i <= messages.size(); ++i) {
    script.expect("RETR " + std::to_string(i)).send("+OK\r\n" + messages[i - 1] + ".\r\n");
    script.expect("DELE " + std::to_string(i)).send("+OK\r\n");
  }
  return script.expect("QUIT").send("+OK bye\r\n");
}
