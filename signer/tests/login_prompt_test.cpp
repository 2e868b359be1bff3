// A worker thread asks for the login dialog, which runs on the GUI thread while the main window
// stays usable.
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>
#include <thread>

#include "app/main_frame.h"
#include "app/signer_app.h"
#include "login/login_prompt.h"
#include "views/queue_view.h"
#include "views/signer_view.h"
#include "working_dir.h"

namespace {

// A worker thread that asks the prompt once.
struct Asker {
  explicit Asker(CLoginPrompt& prompt)
      : thread([this, &prompt] {
          result = prompt.DoModal(entry);
          done = true;
        }) {}
  ~Asker() { thread.join(); }

  tagLoginEntry entry;
  int result = -1;
  std::atomic<bool> done{false};
  std::thread thread;
};

}  // namespace

class LoginPromptTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_dir = std::make_unique<ScopedWorkingDir>();
    m_app = std::make_unique<CSignerApp>(tagSignerOptions{.m_bCheckAtStart = false});
    QVERIFY(m_app->InitInstance());
    QVERIFY(QTest::qWaitForWindowExposed(m_app->MainFrame()));
  }
  void cleanup() {
    m_app.reset();
    m_dir.reset();
  }

  void workerWaitsForOkWhileTheMainWindowStaysUsable() {
    CLogin& dialog = m_app->LoginPrompt()->Dialog();
    Asker asker(*m_app->LoginPrompt());
    QTRY_VERIFY(dialog.isVisible());

    CMainFrame* frame = m_app->MainFrame();
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QTest::keyClick(frame->windowHandle(), Qt::Key_Backslash);
    QCOMPARE(frame->GetActiveView(), static_cast<QWidget*>(m_app->m_pQueueView));
    QVERIFY(!asker.done);

    Edit("user")->setText(QStringLiteral("boss"));
    Edit("password")->setText(QStringLiteral("pw"));
    Edit("server")->setText(QStringLiteral("127.0.0.1"));
    Edit("pop3Port")->setText(QStringLiteral("11110"));
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("ok")), Qt::LeftButton);
    QTRY_VERIFY(asker.done);
    QCOMPARE(asker.result, int(QDialog::Accepted));
    QCOMPARE(asker.entry.m_strUser, "boss");
    QCOMPARE(asker.entry.m_strPass, "pw");
    QCOMPARE(asker.entry.m_strHost, "127.0.0.1");
    QCOMPARE(asker.entry.m_nPop3Port, 11110);
    QCOMPARE(asker.entry.m_nSmtpPort, 25);
    QVERIFY(!dialog.isVisible());
  }

  void cancelAnswersEveryWaitingWorker() {
    CLogin& dialog = m_app->LoginPrompt()->Dialog();
    Asker first(*m_app->LoginPrompt());
    QTRY_VERIFY(dialog.isVisible());
    Asker second(*m_app->LoginPrompt());
    QTest::qWait(50);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("cancel")), Qt::LeftButton);
    QTRY_VERIFY(first.done && second.done);
    QCOMPARE(first.result, int(QDialog::Rejected));
    QCOMPARE(second.result, int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
  }

  // At exit the waiting worker is let go, and later requests are refused at once.
  void closeReleasesWaitingWorkers() {
    CLogin& dialog = m_app->LoginPrompt()->Dialog();
    {
      Asker asker(*m_app->LoginPrompt());
      QTRY_VERIFY(dialog.isVisible());
      m_app->ExitInstance();
      QTRY_VERIFY(asker.done);
      QCOMPARE(asker.result, int(QDialog::Rejected));
      QVERIFY(!dialog.isVisible());
    }
    Asker late(*m_app->LoginPrompt());
    QTRY_VERIFY(late.done);
    QCOMPARE(late.result, int(QDialog::Rejected));
  }

  // A request whose event the GUI thread never gets to is answered by Close() as well.
  void closeBeforeTheDialogOpens() {
    Asker asker(*m_app->LoginPrompt());
    while (!asker.done) {
      m_app->ExitInstance();  // without processing events
      std::this_thread::yield();
    }
    QCOMPARE(asker.result, int(QDialog::Rejected));
  }

 private:
  QLineEdit* Edit(const char* name) const {
    return m_app->LoginPrompt()->Dialog().findChild<QLineEdit*>(QString::fromLatin1(name));
  }

  std::unique_ptr<ScopedWorkingDir> m_dir;
  std::unique_ptr<CSignerApp> m_app;
};

QTEST_MAIN(LoginPromptTest)
#include "login_prompt_test.moc"
