// The main window, the login dialog and the title messages in each language, with the language
// forced as the --language option forces it. What the sending compares and what goes onto disk
// stays the source text whatever is shown.
#include <QComboBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>
#include <atomic>
#include <thread>

#include "app/about_dlg.h"
#include "app/text_tool_bar.h"
#include "mailsignoff_version.h"
#include "platform/profile.h"
#include "queue/send_driver.h"
#include "queue/send_queue.h"
#include "reader/message_viewer.h"
#include "signer_fixture.h"
#include "store/decision_journal.h"
#include "store/list_time.h"
#include "store/task_store.h"
#include "store/ui_text.h"
#include "ui_language.h"
#include "views/decision_view.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

using uilanguage::Language;
Q_DECLARE_METATYPE(uilanguage::Language)

namespace {

QStringList Headings(QTreeView* list) {
  QStringList headings;
  for (int column = 0; column < list->model()->columnCount(); ++column)
    if (!list->isColumnHidden(column))
      headings << list->model()->headerData(column, Qt::Horizontal).toString();
  return headings;
}

QStringList Texts(const QList<QLabel*>& labels) {
  QStringList texts;
  for (const QLabel* label : labels) texts << label->text();
  return texts;
}

}  // namespace

class LanguageTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() {
    m_signer.reset();
    uilanguage::Install(Language::kChinese, QStringLiteral("signer"));
  }

  void textsInTheLanguage_data() {
    QTest::addColumn<Language>("language");
    QTest::addColumn<QStringList>("window");
    QTest::addColumn<QStringList>("login");
    QTest::addColumn<QString>("failedSendTitle");
    QTest::addColumn<QStringList>("queueStatuses");
    QTest::addColumn<QStringList>("decisionWords");
    QTest::addColumn<QString>("viewerButtons");

    QTest::newRow("zh") << Language::kChinese
                        << QStringList{"主管签审",
                                       "发送人|接收人|主题|到达时间|等待",
                                       "状态|发送人|主题|接收人|入队时间|决定",
                                       "时间|决定|发送人|接收人|主题|原因",
                                       "文件(&F)|帮助(&H)",
                                       "阅读(&R)...\tEnter|签发(&A)...|退回(&B)...",
                                       "阅读|签发|退回|上个|下个|刷新|退出|关于",
                                       "同意发送该邮件",
                                       "就绪",
                                       "下载任务:3/7",
                                       "关于 Signer|Signer " MAILSIGNOFF_VERSION " 版|确定"}
                        << QStringList{"登录",
                                       "用户名：|密码：|服务器：|POP3端口:|SMTP端口:|连接安全:|CA证书文件:|"
                                       "证书指纹(SHA-256):|"
                                       "指纹为64位十六进制数字，可用冒号分隔；填写指纹后只比对指纹，"
                                       "不再检查证书颁发机构。",
                                       "服务器要求身份验证", "确定|取消", "无"}
                        << QStringLiteral("主管签审 - 提交任务失败.(10061)")
                        << QStringList{"待发", "完成"} << QStringList{"退回", "签发"}
                        << QStringLiteral("保存附件(&S)...|上一个(&P)|下一个(&N)|签发(&A)|退回(&B)|关闭");
    QTest::newRow("en")
        << Language::kEnglish
        << QStringList{"Supervisor Sign-off",
                       "From|To|Subject|Arrived|Waited",
                       "Status|From|Subject|To|Queued|Decision",
                       "Time|Decision|From|To|Subject|Reason",
                       "&File|&Help",
                       "&Read...\tEnter|&Approve...|Ret&urn...",
                       "Read|Approve|Return|Previous|Next|Refresh|Exit|About",
                       "Approve the message for sending",
                       "Ready",
                       "Downloading:3/7",
                       "About Signer|Signer version " MAILSIGNOFF_VERSION "|OK"}
        << QStringList{"Log in",
                       "User name:|Password:|Server:|POP3 port:|SMTP port:|Connection security:|"
                       "CA file:|Certificate pin (SHA-256):|The pin is 64 hexadecimal digits, colons "
                       "allowed; with a pin only the fingerprint is compared, not the certificate "
                       "authority.",
                       "The server requires authentication", "OK|Cancel", "None"}
        << QStringLiteral("Supervisor Sign-off - Submitting the tasks failed.(10061)")
        << QStringList{"Waiting", "Sent"} << QStringList{"Returned", "Approved"}
        << QStringLiteral("&Save attachment...|&Previous|&Next|&Approve|Ret&urn|Close");
  }

  void textsInTheLanguage() {
    QFETCH(Language, language);
    QFETCH(QStringList, window);
    QFETCH(QStringList, login);
    QFETCH(QString, failedSendTitle);
    QFETCH(QStringList, queueStatuses);
    QFETCH(QStringList, decisionWords);
    QFETCH(QString, viewerButtons);
    QVERIFY(uilanguage::Install(language, QStringLiteral("signer")));
    m_signer = std::make_unique<SignerFixture>(
        tagSignerOptions{.m_bCheckAtStart = false, .m_driverPeriod = std::chrono::hours(1)});
    QVERIFY(m_signer->Start());
    CSignerApp& app = m_signer->App();
    CMainFrame* frame = app.MainFrame();

    QStringList menus;
    QStringList fileItems;
    for (QAction* menu : frame->menuBar()->actions()) menus << menu->text();
    for (QAction* item : frame->menuBar()->actions().front()->menu()->actions())
      if (!item->isSeparator() && fileItems.size() < 3) fileItems << item->text();
    // Every labelled button shows whole within the strip, however long its label.
    QStringList buttons;
    CTextToolBar* toolbar = frame->ToolBar();
    for (QToolButton* button : toolbar->Buttons()) {
      buttons << button->text();
      QVERIFY2(button->isVisible(), qPrintable(button->text()));
      QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->text()));
      const QRect shown(button->mapTo(toolbar, QPoint(0, 0)), button->size());
      QVERIFY2(toolbar->rect().contains(shown), qPrintable(button->text()));
    }
    QCOMPARE(frame->frameGeometry().height(), 300);
    app.DownloadProgress(3, 7);
    const QStringList statusBar = Texts(frame->statusBar()->findChildren<QLabel*>());
    QStringList about;
    QTimer::singleShot(0, [&about] {
      auto* dialog = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      about << dialog->windowTitle() << dialog->findChildren<QLabel*>().back()->text()
            << dialog->findChild<QPushButton*>()->text();
      dialog->accept();
    });
    app.OnAppAbout();
    const QStringList shown{frame->windowTitle(),
                            Headings(app.m_pTaskView).join('|'),
                            Headings(app.m_pQueueView).join('|'),
                            Headings(app.m_pDecisionView).join('|'),
                            menus.join('|'),
                            fileItems.join('|'),
                            buttons.join('|'),
                            frame->Command(res::ID_TASK_APPROVE)->statusTip(),
                            statusBar.value(0),
                            statusBar.value(1),
                            about.join('|')};
    QCOMPARE(shown, window);

    CLogin& dialog = app.LoginPrompt()->Dialog();
    QStringList dialogButtons;
    for (const char* name : {"ok", "cancel"})
      dialogButtons << dialog.findChild<QPushButton*>(QString::fromLatin1(name))->text();
    const QStringList loginShown{dialog.windowTitle(),
                                 Texts(dialog.findChildren<QLabel*>()).join('|'),
                                 dialog.findChild<QCheckBox*>()->text(), dialogButtons.join('|'),
                                 dialog.findChild<QComboBox*>()->itemText(0)};
    QCOMPARE(loginShown, login);

    // The viewer's buttons, each with a key of its own.
    CMessageViewer viewer;
    QStringList viewerTexts;
    QStringList viewerKeys;
    for (QPushButton* button : viewer.findChildren<QPushButton*>()) {
      viewerTexts << button->text();
      if (const QKeySequence key = QKeySequence::mnemonic(button->text()); !key.isEmpty())
        viewerKeys << key.toString();
    }
    QCOMPARE(viewerTexts.join('|'), viewerButtons);
    QCOMPARE(viewerKeys.removeDuplicates(), 0);

    // A title message with its number: the send that finds no server.
    testsupport::ScriptedServer closed;
    const quint16 closedPort = closed.port();
    closed.stop();
    QVERIFY(m_signer->UseAccount({"127.0.0.1", closedPort, false, "boss", "boss-secret"}));
    std::atomic<bool> done{false};
    const std::atomic<bool> stopping{false};
    std::thread sender([&] {
      SendQueue(*app.SendDriver(), stopping);
      done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
    sender.join();
    QTRY_COMPARE(m_signer->Title(), failedSendTitle);

    // The decisions list shows the journal's words in the language.
    for (const char* decision : {kDecisionApprove, kDecisionReturn}) {
      tagDecision entry;
      entry.Time = "2026-01-02 03:04:05";
      entry.TaskId = "QV000000009";
      entry.Sender = "alice@example.test";
      entry.Subject = "Hi";
      entry.Decision = decision;
      entry.Approver = "boss";
      QVERIFY(AppendDecision(HomeDirectory("boss"), entry));
    }
    app.OnShowDecisions();
    QCOMPARE(QStringList({app.m_pDecisionView->RowIndex(0, 1).data().toString(),
                          app.m_pDecisionView->RowIndex(1, 1).data().toString()}),
             decisionWords);

    // The status column speaks the language; the status the sending compares does not.
    CQueueView* queue = app.m_pQueueView;
    app.Lists().AddQueued(
        {{"alice@example.test", "Hi", "bob@example.test", "QV000000001", ListTimeNow()}});
    QCOMPARE(queue->RowIndex(0).data().toString(), queueStatuses[0]);
    QCOMPARE(queue->Status(0), SendStatus::kWaiting);
    app.Lists().SetSendStatus(app.Lists().Generation(), "QV000000001", SendStatus::kSent, "");
    QCOMPARE(queue->RowIndex(0).data().toString(), queueStatuses[1]);
    QCOMPARE(queue->Status(0), SendStatus::kSent);
  }

  // The built-in viewer over the strip, with the task list behind it, on a desktop whose only
  // application for mail is a text editor for text/plain: for a look by eye.
  void viewerScreenshots_data() {
    QTest::addColumn<Language>("language");
    QTest::newRow("zh") << Language::kChinese;
    QTest::newRow("en") << Language::kEnglish;
  }
  void viewerScreenshots() {
    QFETCH(Language, language);
    const QByteArray directory = qgetenv("SIGNER_SCREENSHOT_DIR");
    if (directory.isEmpty()) QSKIP("SIGNER_SCREENSHOT_DIR is not set");
    QTemporaryDir xdg;
    QDir(xdg.path()).mkpath(QStringLiteral("data/applications"));
    QDir(xdg.path()).mkpath(QStringLiteral("system"));
    QFile::link(QStringLiteral("/usr/share/mime"), xdg.filePath(QStringLiteral("system/mime")));
    for (const auto& [name, text] :
         {std::pair{"data/applications/editor.desktop",
                    "[Desktop Entry]\nType=Application\nName=Editor\nExec=/bin/true %f\n"
                    "MimeType=text/plain;\n"},
          std::pair{"data/applications/mimeinfo.cache", "[MIME Cache]\ntext/plain=editor.desktop;\n"}}) {
      QFile file(xdg.filePath(QLatin1String(name)));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(text);
    }
    qputenv("XDG_DATA_HOME", xdg.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_DATA_DIRS", xdg.filePath(QStringLiteral("system")).toUtf8());
    QVERIFY(uilanguage::Install(language, QStringLiteral("signer")));
    m_signer = std::make_unique<SignerFixture>();
    QVERIFY(m_signer->Start());
    QVERIFY(m_signer->UseAccount({"127.0.0.1", 25, false, "boss", "boss-secret"}));
    CSignerApp& app = m_signer->App();
    const std::string home = HomeDirectory("boss");
    for (int n = 1; n <= 3; ++n) {
      const std::string id = FormatTaskId(std::to_string(n));
      const std::string subject = "关于下季度合作的几点建议 " + std::to_string(n);
      testsupport::writeFile(TaskMessagePath(home, id),
                             "From: \"Alice\" <alice@example.test>\r\nTo: bob@example.test\r\n"
                             "Subject: " + subject + "\r\nDate: Thu, 10 Dec 2026 08:00:00 +0800\r\n"
                             "\r\n王总：\r\n\r\n附上下季度合作的几点建议，请审阅。\r\n");
      WriteTaskHead(TaskHeadPath(home, id), {"\"Alice\" <alice@example.test>", "bob@example.test",
                                             "", "", subject, id, "w" + std::to_string(n)});
      app.ListTask(TaskHeadPath(home, id));
    }
    // In English the size the user left the viewer at.
    if (language == Language::kEnglish) {
      QVERIFY(platform::writePrivateProfileString("Viewer", "Width", "900", "./Signer.ini"));
      QVERIFY(platform::writePrivateProfileString("Viewer", "Height", "360", "./Signer.ini"));
    }
    CSignerView* tasks = app.m_pTaskView;
    QTRY_COMPARE(tasks->RowCount(), 3);
    QTRY_COMPARE(tasks->SelectedRows(), std::vector<int>({0}));
    app.MainFrame()->Command(res::ID_TASK_READ)->trigger();
    QVERIFY(!tasks->Reader().HasProcess());  // the text editor is not taken for mail
    QVERIFY(tasks->ViewerShown());
    tasks->Viewer()->SetDecisionsEnabled(true);
    QTest::qWait(500);
    const QString name = language == Language::kChinese ? "viewer-zh.png" : "viewer-en.png";
    QVERIFY(app.MainFrame()->screen()->grabWindow(0).save(QString::fromLocal8Bit(directory) + "/" +
                                                          name));
  }

  // Qt's own dialog buttons follow the language: Qt's Chinese texts when the machine has them.
  void qtDialogButtonsFollowTheLanguage() {
    QVERIFY(uilanguage::Install(Language::kEnglish, QStringLiteral("signer")));
    QCOMPARE(YesButtonText(), QStringLiteral("&Yes"));
    QVERIFY(uilanguage::Install(Language::kChinese, QStringLiteral("signer")));
    QTranslator qtChinese;
    if (!qtChinese.load(QStringLiteral("qt_zh_CN"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      QSKIP("Qt's Chinese catalog is not installed");
    QCOMPARE(YesButtonText(), qtChinese.translate("QPlatformTheme", "&Yes"));
    QVERIFY(YesButtonText() != QStringLiteral("&Yes"));
    // English without its catalog: all Chinese, Qt's buttons included, rather than a mixture.
    QVERIFY(!uilanguage::Install(Language::kEnglish, QStringLiteral("no-such-program")));
    QCOMPARE(Tr(SendStatusText(SendStatus::kSent)), QStringLiteral("完成"));
    QCOMPARE(YesButtonText(), qtChinese.translate("QPlatformTheme", "&Yes"));
  }

 private:
  static QString YesButtonText() {
    QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes);
    return box.button(QMessageBox::Yes)->text();
  }

  std::unique_ptr<SignerFixture> m_signer;
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
