// The built-in viewer: a task's message taken apart and shown read-only, its attachments saved, and
// the task list using it when the desktop has no mail reader.

#include "reader/message_viewer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDirIterator>
#include <QLineEdit>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QtTest>

#include "platform/profile.h"
#include "queue/queue_task.h"
#include "reader/window_placement.h"
#include "signer_fixture.h"
#include "store/task_store.h"
#include "views/signer_view.h"
#include "views/text_input.h"
#include "working_dir.h"

namespace {

// A socket listening on loopback that accepts nothing: a connection to it waits in its backlog.
class CListener {
 public:
  CListener() : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(m_fd, 8) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      m_port = ntohs(address.sin_port);
  }
  ~CListener() { ::close(m_fd); }
  int Port() const { return m_port; }
  bool Connected(int waitMs) const {
    pollfd wanted{m_fd, POLLIN, 0};
    return ::poll(&wanted, 1, waitMs) > 0;
  }

 private:
  int m_fd;
  int m_port = 0;
};

// Every byte value, so that a save that is not byte for byte shows.
QByteArray AllBytes() {
  QByteArray bytes;
  for (int round = 0; round < 3; ++round)
    for (int b = 0; b < 256; ++b) bytes.append(static_cast<char>(b));
  return bytes;
}

QByteArray Base64Lines(const QByteArray& bytes) {
  const QByteArray encoded = bytes.toBase64();
  QByteArray lines;
  for (qsizetype at = 0; at < encoded.size(); at += 76) lines += encoded.mid(at, 76) + "\r\n";
  return lines;
}

QByteArray Mixed(const QByteArray& header, const QByteArray& body, const QByteArray& parts) {
  return header +
         "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
         "--b1\r\n" +
         body + "\r\n" + parts + "--b1--\r\n";
}

QByteArray Attachment(const QByteArray& disposition, const QByteArray& bytes) {
  return "--b1\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
         "Content-Disposition: attachment; " +
         disposition + "\r\n\r\n" + Base64Lines(bytes);
}

QString Text(const QWidget& viewer, const char* name) {
  return viewer.findChild<QLabel*>(QLatin1String(name))->text();
}

}  // namespace

namespace {

// A desktop whose settings know no mail reader.
void WithoutDesktopReader(const QTemporaryDir& xdg) {
  for (const char* variable :
       {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"})
    qputenv(variable, xdg.path().toUtf8());
  qunsetenv("XDG_CURRENT_DESKTOP");
}

// Tasks 1 to 3 of boss, "Task <n>" from alice, stored and listed.
void ListThreeTasks(CSignerApp& app) {
  const std::string home = HomeDirectory("boss");
  for (int n = 1; n <= 3; ++n) {
    const std::string id = FormatTaskId(std::to_string(n));
    const std::string subject = "Task " + std::to_string(n);
    testsupport::writeFile(TaskMessagePath(home, id),
                           "From: alice@example.test\r\nTo: boss@example.test\r\nSubject: " +
                               subject + "\r\n\r\nBody " + std::to_string(n) + "\r\n");
    WriteTaskHead(TaskHeadPath(home, id), {"alice@example.test", "boss@example.test", "", "",
                                           subject, id, "w" + std::to_string(n)});
    app.ListTask(TaskHeadPath(home, id));
  }
}

}  // namespace

class MessageViewerTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_files = std::make_unique<QTemporaryDir>();
    QVERIFY(m_files->isValid());
  }

  // Header fields decoded from encoded words and GB18030, whatever case their names have.
  void headerFieldsAreDecoded() {
    const QByteArray header =
        "From: =?UTF-8?B?5byg5LiJ?= <zhang@example.test>\r\n"
        "TO: bob@example.test,\r\n carol@example.test\r\n"
        "cc: =?GB2312?B?wO7LxA==?= <li@example.test>\r\n"
        "Subject: =?UTF-8?Q?=E6=8A=A5=E5=91=8A?= Q3\r\n"
        "Date: Thu, 10 Dec 2026 08:00:00 +0800\r\n";
    CMessageViewer viewer;
    QVERIFY(viewer.ShowMessage(Write(Mixed(header, "Content-Type: text/plain\r\n\r\nhi\r\n", "")),
                               false, false));
    QCOMPARE(Text(viewer, "from"), QStringLiteral("张三 <zhang@example.test>"));
    QCOMPARE(Text(viewer, "to"), QStringLiteral("bob@example.test, carol@example.test"));
    QCOMPARE(Text(viewer, "cc"), QStringLiteral("李四 <li@example.test>"));
    QCOMPARE(Text(viewer, "subject"), QStringLiteral("报告 Q3"));
    QCOMPARE(Text(viewer, "date"), QStringLiteral("Thu, 10 Dec 2026 08:00:00 +0800"));
  }

  // The body as plain text or as HTML, and the plain alternative of an HTML body not listed.
  void bodyText_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("html");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("attachments");
    QTest::newRow("plain, base64 UTF-8")
        << Mixed("Subject: s\r\n",
                 "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n"
                 "\r\n" +
                     Base64Lines(QStringLiteral("请审批").toUtf8()),
                 "")
        << false << QStringLiteral("请审批") << 0;
    QTest::newRow("plain, GB18030 quoted-printable")
        << Mixed("Subject: s\r\n",
                 "Content-Type: text/plain; charset=gb2312\r\n"
                 "Content-Transfer-Encoding: quoted-printable\r\n\r\n=C7=EB=C9=F3=C5=FA\r\n",
                 "")
        << false << QStringLiteral("请审批") << 0;
    QTest::newRow("html with its plain alternative")
        << QByteArray(
               "Subject: s\r\nMIME-Version: 1.0\r\n"
               "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
               "--alt\r\nContent-Type: text/plain\r\n\r\nplain version\r\n"
               "--alt\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
               "<html><body><p>the <b>html</b> version</p></body></html>\r\n--alt--\r\n")
        << true << QStringLiteral("the html version") << 0;
    QTest::newRow("not multipart")
        << QByteArray("Subject: s\r\nContent-Type: text/plain\r\n\r\njust text\r\n") << false
        << QStringLiteral("just text") << 0;
  }
  void bodyText() {
    QFETCH(QByteArray, message);
    QFETCH(bool, html);
    QFETCH(QString, shown);
    QFETCH(int, attachments);
    CMessageViewer viewer;
    QVERIFY(viewer.ShowMessage(Write(message), false, false));
    QCOMPARE(viewer.Message().m_bHtml, html);
    QCOMPARE(static_cast<int>(viewer.Message().m_attachments.size()), attachments);
    QCOMPARE(viewer.findChild<QTextBrowser*>(QStringLiteral("body"))->toPlainText().trimmed(),
             shown);
  }

  // Nothing an HTML body refers to is fetched: not from the network, not from local files.
  void htmlLoadsNothingFromElsewhere() {
    const CListener server;
    QVERIFY(server.Port() > 0);
    const QString local = m_files->filePath(QStringLiteral("secret.png"));
    QImage(4, 4, QImage::Format_RGB32).save(local);
    const QByteArray html = QStringLiteral(
                                "<html><head><link rel=\"stylesheet\" href=\"http://127.0.0.1:%1/"
                                "s.css\"></head><body><img src=\"http://127.0.0.1:%1/track.png\">"
                                "<img src=\"file://%2\"><p>text</p></body></html>")
                                .arg(server.Port())
                                .arg(local)
                                .toUtf8();
    CMessageViewer viewer;
    QVERIFY(viewer.ShowMessage(
        Write(Mixed("Subject: s\r\n", "Content-Type: text/html\r\n\r\n" + html, "")), false,
        false));
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QTest::qWait(300);
    QVERIFY(!server.Connected(200));
    auto* body = viewer.findChild<QTextBrowser*>(QStringLiteral("body"));
    QVERIFY2(body->toPlainText().contains(QStringLiteral("text")),
             qPrintable(viewer.Message().m_strText));
    QVERIFY(body->loadResource(QTextDocument::ImageResource, QUrl::fromLocalFile(local)).isNull());
    QVERIFY(!body->openLinks() && !body->openExternalLinks());
  }

  // Attachments listed with their names and sizes and saved byte for byte; a save onto an existing
  // file asks first and leaves the file alone when the answer is no.
  void attachmentsAreListedAndSaved() {
    const QByteArray binary = AllBytes();
    const QByteArray small("a small note\n");
    CMessageViewer viewer;
    QVERIFY(viewer.ShowMessage(
        Write(Mixed("Subject: s\r\n", "Content-Type: text/plain\r\n\r\nsee attached\r\n",
                    Attachment("filename=\"data.bin\"", binary) +
                        Attachment("filename=\"=?UTF-8?B?5oql5ZGKLnR4dA==?=\"", small))),
        false, false));
    const auto& attachments = viewer.Message().m_attachments;
    QCOMPARE(attachments.size(), std::size_t{2});
    QCOMPARE(attachments[0].m_strName, QStringLiteral("data.bin"));
    QCOMPARE(attachments[0].m_nSize, qint64{binary.size()});
    QCOMPARE(attachments[1].m_strName, QStringLiteral("报告.txt"));
    QCOMPARE(attachments[1].m_nSize, qint64{small.size()});
    auto* list = viewer.findChild<QTreeWidget*>(QStringLiteral("attachments"));
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("data.bin"));
    QCOMPARE(list->topLevelItem(0)->text(1), QLocale().formattedDataSize(binary.size()));

    const QString target = m_files->filePath(QStringLiteral("saved.bin"));
    QString suggested;
    int confirmations = 0;
    bool replace = false;
    viewer.SetAskSavePath([&](const QString& name) {
      suggested = name;
      return target;
    });
    viewer.SetConfirmReplace([&](const QString&) {
      ++confirmations;
      return replace;
    });
    list->setCurrentItem(list->topLevelItem(0));
    viewer.findChild<QPushButton*>(QStringLiteral("save"))->click();
    QCOMPARE(suggested, QStringLiteral("data.bin"));
    QCOMPARE(confirmations, 0);
    QCOMPARE(ReadAll(target), binary);

    list->setCurrentItem(list->topLevelItem(1));
    viewer.findChild<QPushButton*>(QStringLiteral("save"))->click();
    QCOMPARE(confirmations, 1);
    QCOMPARE(ReadAll(target), binary);  // not replaced
    replace = true;
    viewer.findChild<QPushButton*>(QStringLiteral("save"))->click();
    QCOMPARE(confirmations, 2);
    QCOMPARE(ReadAll(target), small);

    QVERIFY(!viewer.SaveAttachment(0, m_files->filePath(QStringLiteral("no/such/dir/x"))));
    QVERIFY(!viewer.SaveAttachment(7, target));
  }

  // Names the sender chose cannot place a file outside the viewer's folder or into the save
  // dialog as a path.
  void hostileAttachmentNames_data() {
    QTest::addColumn<QByteArray>("disposition");
    QTest::newRow("parent folders") << QByteArray("filename=\"../../../escape.sh\"");
    QTest::newRow("absolute") << QByteArray("filename=\"/tmp/escape.sh\"");
    QTest::newRow("windows path") << QByteArray("filename=\"..\\\\..\\\\escape.sh\"");
    QTest::newRow("encoded slash") << QByteArray("filename=\"=?UTF-8?Q?=2E=2E=2Fescape=2Esh?=\"");
    QTest::newRow("control characters") << QByteArray("filename=\"a\tb\x01.sh\"");
    QTest::newRow("dots") << QByteArray("filename=\"..\"");
  }
  void hostileAttachmentNames() {
    QFETCH(QByteArray, disposition);
    const QByteArray bytes("#!/bin/sh\necho owned\n");
    CMessageViewer viewer;
    QVERIFY(
        viewer.ShowMessage(Write(Mixed("Subject: s\r\n", "Content-Type: text/plain\r\n\r\nx\r\n",
                                       Attachment(disposition, bytes))),
                           false, false));
    QCOMPARE(viewer.Message().m_attachments.size(), std::size_t{1});
    const tagMessageAttachment& attachment = viewer.Message().m_attachments[0];
    QVERIFY(QFileInfo(attachment.m_strPath)
                .canonicalFilePath()
                .startsWith(QFileInfo(viewer.PartsFolder()).canonicalFilePath() + u'/'));
    QCOMPARE(ReadAll(attachment.m_strPath), bytes);
    QVERIFY(!QFile::exists(m_files->filePath(QStringLiteral("escape.sh"))));
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/escape.sh")));
    for (const QChar c : attachment.m_strName) QVERIFY(c.isPrint());

    QString suggested;
    viewer.SetAskSavePath([&](const QString& name) {
      suggested = name;
      return QString();
    });
    viewer.findChild<QPushButton*>(QStringLiteral("save"))->click();
    QVERIFY(!suggested.isEmpty());
    QVERIFY(!suggested.contains(u'/') && !suggested.contains(u'\\'));
    QVERIFY(suggested != QLatin1String("..") && suggested != QLatin1String("."));
  }

  // What cannot be taken apart is still shown as the text it is; a file that cannot be read says
  // so. The decoded parts go when the window closes.
  void undecodableAndUnreadableMessages() {
    CMessageViewer viewer;
    const QByteArray broken(
        "Subject: broken\r\nContent-Type: multipart/mixed\r\n\r\n"
        "--nowhere\r\nsome raw text\r\n");
    QVERIFY(viewer.ShowMessage(Write(broken), false, false));
    QCOMPARE(Text(viewer, "subject"), QStringLiteral("broken"));
    QVERIFY(viewer.findChild<QTextBrowser*>(QStringLiteral("body"))
                ->toPlainText()
                .contains(QStringLiteral("some raw text")));

    QVERIFY(!viewer.ShowMessage(m_files->filePath(QStringLiteral("missing.eml")).toStdString(),
                                false, false));
    QVERIFY(!viewer.findChild<QTextBrowser*>(QStringLiteral("body"))->toPlainText().isEmpty());

    QVERIFY(viewer.ShowMessage(Write(Mixed("Subject: s\r\n", "Content-Type: text/plain\r\n\r\nx",
                                           Attachment("filename=\"a.bin\"", "abc"))),
                               false, false));
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    const QString folder = viewer.PartsFolder();
    QVERIFY(QFileInfo::exists(folder));
    viewer.findChild<QPushButton*>(QStringLiteral("close"))->click();
    QVERIFY(!QFileInfo::exists(folder));
  }

  // Approve and return ask for a decision on the task shown, by click or by their key, only while
  // deciding is allowed and a message is shown; no two buttons share a key.
  void decisionButtons() {
    CMessageViewer viewer;
    auto* approve = viewer.findChild<QPushButton*>(QStringLiteral("approve"));
    auto* giveBack = viewer.findChild<QPushButton*>(QStringLiteral("return"));
    QSignalSpy approved(&viewer, &CMessageViewer::Approve);
    QSignalSpy returned(&viewer, &CMessageViewer::Return);
    const std::string path = Write("Subject: s\r\n\r\nbody\r\n");
    QVERIFY(viewer.ShowMessage(path, false, false));
    QCOMPARE(viewer.MessagePath(), path);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowActive(&viewer));
    QVERIFY(!approve->isEnabled() && !giveBack->isEnabled());  // until the task list allows it
    QTest::keyClick(&viewer, Qt::Key_A, Qt::AltModifier);
    QTest::qWait(300);
    QCOMPARE(approved.count(), 0);

    viewer.SetDecisionsEnabled(true);
    QVERIFY(approve->isEnabled() && giveBack->isEnabled());
    approve->click();
    QCOMPARE(approved.count(), 1);
    giveBack->click();
    QCOMPARE(returned.count(), 1);
    QTest::keyClick(&viewer, Qt::Key_A, Qt::AltModifier);
    QTRY_COMPARE(approved.count(), 2);
    QTest::keyClick(&viewer, Qt::Key_B, Qt::AltModifier);
    QTRY_COMPARE(returned.count(), 2);

    QStringList keys;
    for (QPushButton* button : viewer.findChildren<QPushButton*>()) {
      const QKeySequence key = QKeySequence::mnemonic(button->text());
      if (!key.isEmpty()) keys << key.toString();
    }
    QCOMPARE(keys.removeDuplicates(), 0);
    for (const char* menuKey : {"Alt+F", "Alt+H"}) QVERIFY(!keys.contains(QLatin1String(menuKey)));

    // A message that cannot be read cannot be decided from here, and neither can none.
    QVERIFY(!viewer.ShowMessage(m_files->filePath(QStringLiteral("gone.eml")).toStdString(), false,
                                false));
    QVERIFY(viewer.MessagePath().empty());
    QVERIFY(!approve->isEnabled() && !giveBack->isEnabled());
    QVERIFY(viewer.ShowMessage(path, false, false));
    QVERIFY(approve->isEnabled());
    viewer.SetDecisionsEnabled(false);
    QVERIFY(!approve->isEnabled() && !giveBack->isEnabled());
    viewer.close();
    QVERIFY(viewer.MessagePath().empty());
  }

  // Over the main window the viewer stands above it, as the desktop's reader is placed: the whole
  // space above it, or the size the user left it at, standing on the main window and centred.
  void viewerStandsAboveTheMainWindow_data() {
    QTest::addColumn<int>("mainTop");  // negative: from the bottom of the screen
    QTest::addColumn<QByteArray>("stored");
    // Without the frame; empty: the whole space; (-1, -1): not placed; (0, 1): the smallest.
    QTest::addColumn<QSize>("placed");
    QTest::newRow("nothing remembered") << -200 << QByteArray() << QSize(0, 0);
    QTest::newRow("remembered") << -200 << QByteArray("Width=700\nHeight=320\n") << QSize(700, 320);
    QTest::newRow("larger than the space") << -200 << QByteArray("Width=9000\nHeight=9000\n")
                                           << QSize(0, 0);
    QTest::newRow("too small to read") << -200 << QByteArray("Width=100\nHeight=50\n")
                                       << QSize(0, 1);
    QTest::newRow("not a size") << -200 << QByteArray("Width=wide\nHeight=-3\n") << QSize(0, 0);
    QTest::newRow("no space above") << 150 << QByteArray() << QSize();
  }
  void viewerStandsAboveTheMainWindow() {
    QFETCH(int, mainTop);
    QFETCH(QByteArray, stored);
    QFETCH(QSize, placed);
    ScopedWorkingDir directory;
    if (!stored.isEmpty()) WriteFile("Signer.ini", "[Viewer]\n" + stored);
    QMainWindow strip;
    auto* list = new QWidget(&strip);
    strip.setCentralWidget(list);
    const QRect screen = strip.screen()->geometry();
    strip.setGeometry(0, mainTop < 0 ? screen.height() + mainTop : mainTop, screen.width(), 150);
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    const int stripTop = strip.frameGeometry().top();

    CMessageViewer viewer(list);
    QVERIFY(viewer.ShowMessage(Write("Subject: s\r\n\r\nbody\r\n"), false, false));
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QTest::qWait(20);
    const QRect frame = viewer.frameGeometry();
    if (!placed.isValid()) {
      QCOMPARE(viewer.size(), QSize(760, 620));
    } else {
      QCOMPARE(frame.bottom(), stripTop - 1);
      QCOMPARE(frame.left(), (screen.width() - frame.width()) / 2);
      if (placed.isEmpty() && placed.height() == 0)
        QCOMPARE(frame.size(), QSize(screen.width(), stripTop));
      else if (!placed.isEmpty())
        QCOMPARE(viewer.size(), placed);
      else
        QVERIFY(frame.width() >= 400 && frame.height() >= 300 &&
                viewer.width() >= viewer.minimumSizeHint().width() &&
                viewer.height() >= viewer.minimumSizeHint().height());
    }
    viewer.close();
    QCOMPARE(QFile::exists(QStringLiteral("Signer.ini")), !stored.isEmpty());
  }

  // The size the user leaves the viewer at is kept in Signer.ini, also when the program ends with
  // the viewer open, and the next opening has it.
  void viewerRemembersItsSize() {
    ScopedWorkingDir directory;
    WriteFile("Signer.ini", "[Login]\nUserName=boss\n");
    QMainWindow strip;
    auto* list = new QWidget(&strip);
    strip.setCentralWidget(list);
    strip.setGeometry(0, 400, 800, 150);
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    QCOMPARE(strip.screen()->geometry().width(), 800);
    const std::string path = Write("Subject: s\r\n\r\nbody\r\n");
    auto viewer = std::make_unique<CMessageViewer>(list);
    QVERIFY(viewer->ShowMessage(path, false, false));
    viewer->show();
    QTest::qWait(20);
    viewer->resize(640, 360);
    viewer->close();
    const char* ini = "./Signer.ini";
    QCOMPARE(platform::getPrivateProfileString("Viewer", "Width", "", ini), "640");
    QCOMPARE(platform::getPrivateProfileString("Viewer", "Height", "", ini), "360");
    QCOMPARE(platform::getPrivateProfileString("Login", "UserName", "", ini), "boss");

    QVERIFY(viewer->ShowMessage(path, false, false));
    viewer->show();
    QTest::qWait(20);
    QCOMPARE(viewer->size(), QSize(640, 360));
    QCOMPARE(viewer->frameGeometry().bottom(), strip.frameGeometry().top() - 1);
    QCOMPARE(viewer->frameGeometry().left(), (800 - viewer->frameGeometry().width()) / 2);
    viewer->resize(500, 320);
    viewer.reset();  // the program ends
    QCOMPARE(platform::getPrivateProfileString("Viewer", "Width", "", ini), "500");
    QCOMPARE(platform::getPrivateProfileString("Viewer", "Height", "", ini), "320");
  }

  // The viewer's 签发 and 退回 decide the task it shows and move on to the next one; without a
  // login that may decide, they are off.
  void decisionsFromTheViewerMoveOnToTheNextTask() {
    QTemporaryDir xdg;
    WithoutDesktopReader(xdg);
    SignerFixture signer;
    QVERIFY(signer.Start());
    QVERIFY(signer.UseAccount({"127.0.0.1", 25, false, "boss", "boss-secret"}));
    CSignerApp& app = signer.App();
    CSignerView* tasks = app.m_pTaskView;
    ListThreeTasks(app);
    QTRY_COMPARE(tasks->RowCount(), 3);
    QTRY_COMPARE(tasks->SelectedRows(), std::vector<int>({0}));
    tasks->ReadSelectedInViewer();
    CMessageViewer* viewer = tasks->Viewer();
    auto* approve = viewer->findChild<QPushButton*>(QStringLiteral("approve"));
    auto* back = viewer->findChild<QPushButton*>(QStringLiteral("return"));
    QVERIFY(approve && back);
    QVERIFY(approve->isEnabled() && back->isEnabled());
    app.SetOnline(false);  // a login the server refused
    QVERIFY(!approve->isEnabled() && !back->isEnabled());
    app.SetOnline(true);
    QVERIFY(approve->isEnabled());

    approve->click();
    QCOMPARE(tasks->RowCount(), 2);
    QVERIFY(QFileInfo::exists(QString::fromStdString(TaskHeadPath("HOME_boss/Queue", "QV000000003"))));
    QVERIFY(tasks->ViewerShown());
    QCOMPARE(Text(*viewer, "subject"), QStringLiteral("Task 2"));

    QTimer::singleShot(0, this, [] {
      auto* dialog = qobject_cast<CTextInput*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      dialog->findChild<QLineEdit*>(QStringLiteral("reason"))->setText(QStringLiteral("缺附件"));
      dialog->accept();
    });
    back->click();
    QCOMPARE(tasks->RowCount(), 1);
    QCOMPARE(QueuedDecision("HOME_boss/Queue", "QV000000002").Decision, std::string(kDecisionReturn));
    QCOMPARE(Text(*viewer, "subject"), QStringLiteral("Task 1"));
    approve->click();
    QCOMPARE(tasks->RowCount(), 0);
    QVERIFY(!tasks->ViewerShown());
  }

  // With no reader for mail on the desktop, Read shows the task in the built-in viewer; previous
  // and next in it move through the list; a decision closes it.
  void taskListUsesTheViewerWithoutADesktopReader() {
    QTemporaryDir xdg;
    WithoutDesktopReader(xdg);
    SignerFixture signer;
    QVERIFY(signer.Start());
    QVERIFY(signer.UseAccount({"127.0.0.1", 25, false, "boss", "boss-secret"}));
    CSignerApp& app = signer.App();
    CSignerView* tasks = app.m_pTaskView;
    ListThreeTasks(app);
    QTRY_COMPARE(tasks->RowCount(), 3);
    QTRY_COMPARE(tasks->SelectedRows(), std::vector<int>({0}));

    app.MainFrame()->Command(res::ID_TASK_READ)->trigger();
    QVERIFY(!tasks->Reader().HasProcess());
    QVERIFY(tasks->ViewerShown());
    CMessageViewer* viewer = tasks->Viewer();
    QCOMPARE(Text(*viewer, "subject"), QStringLiteral("Task 3"));
    auto* previous = viewer->findChild<QPushButton*>(QStringLiteral("previous"));
    auto* next = viewer->findChild<QPushButton*>(QStringLiteral("next"));
    QVERIFY(!previous->isEnabled() && next->isEnabled());

    next->click();
    QCOMPARE(tasks->SelectedRows(), std::vector<int>({1}));
    QCOMPARE(Text(*viewer, "subject"), QStringLiteral("Task 2"));
    app.MainFrame()->Command(res::ID_TASK_NEXT)->trigger();
    QCOMPARE(Text(*viewer, "subject"), QStringLiteral("Task 1"));
    QVERIFY(previous->isEnabled() && !next->isEnabled());
    previous->click();
    QCOMPARE(Text(*viewer, "subject"), QStringLiteral("Task 2"));

    const QString folder = viewer->PartsFolder();
    QVERIFY(!folder.isEmpty());
    app.MainFrame()->Command(res::ID_TASK_APPROVE)->trigger();
    QTRY_COMPARE(tasks->RowCount(), 2);
    QVERIFY(!tasks->ViewerShown());
    QVERIFY(!QFileInfo::exists(folder));

    // Once closed, moving opens nothing.
    app.MainFrame()->Command(res::ID_TASK_PREV)->trigger();
    QVERIFY(!tasks->ViewerShown());
  }

 private:
  std::string Write(const QByteArray& message) {
    const QString path = m_files->filePath(QStringLiteral("m%1.eml").arg(++m_nMessage));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(message) != message.size()) return {};
    return path.toStdString();
  }
  static void WriteFile(const char* path, const QByteArray& text) {
    QFile file(QString::fromLatin1(path));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
  }
  static QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  std::unique_ptr<QTemporaryDir> m_files;
  int m_nMessage = 0;
};

QTEST_MAIN(MessageViewerTest)
#include "message_viewer_test.moc"
