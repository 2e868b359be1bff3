// Sending the queue against a scripted SMTP server, and the periodic driver that checks the
// mailbox and sends the queue while the client is online.
#include "queue/send_queue.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtTest>
#include <atomic>
#include <filesystem>
#include <thread>

#include "queue/queue_task.h"
#include "queue/send_driver.h"
#include "signer_fixture.h"
#include "store/task_store.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

namespace fs = std::filesystem;
using testsupport::Script;

namespace {

const std::string kAlice = "\"Alice Wang\" <alice@example.test>";

Script& SmtpGreet(Script& script, bool auth) {
  script.send("220 mx.example.test ESMTP\r\n");
  if (!auth) return script.expectPrefix("HELO ").send("250 mx.example.test\r\n");
  return script.expectPrefix("EHLO ")
      .send("250-mx.example.test\r\n250 AUTH PLAIN LOGIN\r\n")
      .expect("AUTH LOGIN")
      .send("334 VXNlcm5hbWU6\r\n")
      .expect("Ym9zcw==")  // boss
      .send("334 UGFzc3dvcmQ6\r\n")
      .expect("Ym9zcy1zZWNyZXQ=")  // boss-secret
      .send("235 2.7.0 Authentication successful\r\n");
}

Script& SmtpAccept(Script& script, const std::string& from, const std::vector<std::string>& to) {
  script.expect("MAIL FROM: <" + from + ">").send("250 2.1.0 Ok\r\n");
  for (const std::string& address : to)
    script.expect("RCPT TO: <" + address + ">").send("250 2.1.5 Ok\r\n");
  return script.expect("DATA")
      .send("354 End data with <CR><LF>.<CR><LF>\r\n")
      .readUntil("\r\n.\r\n")
      .send("250 2.0.0 Ok: queued as 1\r\n");
}

Script& SmtpQuit(Script& script) { return script.expect("QUIT").send("221 2.0.0 Bye\r\n"); }

}  // namespace

class SendQueueTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_smtp = std::make_unique<testsupport::ScriptedServer>();
    m_pop3 = std::make_unique<testsupport::ScriptedServer>();
  }
  void cleanup() {
    m_smtp->stop();
    m_pop3->stop();
    m_signer.reset();
  }

  // Approved: from the task's sender to its To, Cc and Bcc addresses in bare form; returned: from
  // the user at the sender's domain to the sender. With authentication the account goes in base64.
  void sendsEachTaskToItsRecipientsWithAuthentication() {
    Start(true);
    StoreTask(1, kAlice, "Bob <bob@example.test>, carol@example.test",
              "\"Dave\" <dave@example.test>", "erin@example.test");
    StoreTask(2, kAlice, "bob@example.test", "", "");
    QVERIFY(App().ApproveTask("QV000000001"));
    QVERIFY(App().ReturnTask("QV000000002", "太长"));
    const std::string first = Queued("QV000000001");
    const std::string second = Queued("QV000000002");
    Script& script = SmtpGreet(m_smtp->connection(), true);
    SmtpAccept(
        script, "alice@example.test",
        {"bob@example.test", "carol@example.test", "dave@example.test", "erin@example.test"});
    SmtpAccept(script, "boss@example.test", {"alice@example.test"});
    SmtpQuit(script);
    m_smtp->start();

    RunSendQueue();
    QVERIFY(m_smtp->waitDone());
    QVERIFY2(m_smtp->mismatches().empty(), Mismatches().c_str());
    const std::string received = m_smtp->received();
    QVERIFY(received.find("DATA\r\n" + first + ".\r\nMAIL FROM") != std::string::npos);
    QVERIFY(received.find("DATA\r\n" + second + ".\r\nQUIT") != std::string::npos);
    // "审核退回:Task 2" as a UTF-8 encoded word.
    QVERIFY(second.find("Subject: =?UTF-8?B?5a6h5qC46YCA5ZueOlRhc2sgMg==?=\r\n") != std::string::npos);
    QTRY_COMPARE(Statuses(), QStringList({"完成", "完成"}));
    QVERIFY(!fs::exists("HOME_boss/Queue/QV000000001.eml"));
    QVERIFY(!fs::exists("HOME_boss/Queue/QV000000002.inf"));
  }

  // The base64 form of a long password is longer than an encoded line: it still goes as one line.
  void longPasswordGoesAsOneLine() {
    Start(true);
    std::string password;
    for (int i = 0; i < 100; ++i) password += static_cast<char>(' ' + (i * 7) % 95);
    App().SetAccount({"127.0.0.1", m_smtp->port(), true, "boss", password});
    const QByteArray encoded = QByteArray::fromStdString(password).toBase64();
    QCOMPARE(encoded.size(), 136);
    Script& script = m_smtp->connection();
    script.send("220 mx.example.test ESMTP\r\n")
        .expectPrefix("EHLO ")
        .send("250-mx.example.test\r\n250 AUTH LOGIN\r\n")
        .expect("AUTH LOGIN")
        .send("334 VXNlcm5hbWU6\r\n")
        .expect("Ym9zcw==")
        .send("334 UGFzc3dvcmQ6\r\n")
        .expect(encoded.toStdString())
        .send("235 2.7.0 Authentication successful\r\n");
    SmtpQuit(script);
    m_smtp->start();

    RunSendQueue();
    QVERIFY(m_smtp->waitDone());
    QVERIFY2(m_smtp->mismatches().empty(), Mismatches().c_str());
    QCOMPARE(m_signer->Title(), QStringLiteral("主管签审"));
  }

  // A message the server refuses is marked for another try; the next one goes out on the same
  // connection, and a sent row is never sent again.
  void refusedMessageDoesNotHoldUpTheRest() {
    Start(false);
    StoreTask(1, kAlice, "nobody@elsewhere.test", "", "");
    StoreTask(2, kAlice, "bob@example.test", "", "");
    QVERIFY(App().ApproveTask("QV000000001"));
    QVERIFY(App().ApproveTask("QV000000002"));
    Script& script = SmtpGreet(m_smtp->connection(), false);
    script.expect("MAIL FROM: <alice@example.test>")
        .send("250 2.1.0 Ok\r\n")
        .expect("RCPT TO: <nobody@elsewhere.test>")
        .send("554 5.7.1 Relay access denied\r\n")
        .expect("RSET")
        .send("250 2.0.0 Ok\r\n");
    SmtpQuit(SmtpAccept(script, "alice@example.test", {"bob@example.test"}));
    Script& again = SmtpGreet(m_smtp->connection(), false);
    again.expect("MAIL FROM: <alice@example.test>")
        .send("250 2.1.0 Ok\r\n")
        .expect("RCPT TO: <nobody@elsewhere.test>")
        .send("554 5.7.1 Relay access denied\r\n")
        .expect("RSET")
        .send("250 2.0.0 Ok\r\n");
    SmtpQuit(again);
    m_smtp->start();

    RunSendQueue();
    QTRY_COMPARE(Statuses(), QStringList({"重发", "完成"}));
    QCOMPARE(App().m_pQueueView->Reply(0), "554 5.7.1 Relay access denied");
    QCOMPARE(App().m_pQueueView->Reply(1), "");
    QCOMPARE(m_signer->Title(),
             QStringLiteral("主管签审 - 发送任务失败。554 5.7.1 Relay access denied (4899) - 1 待审"));
    QVERIFY(fs::exists("HOME_boss/Queue/QV000000001.eml"));
    RunSendQueue();
    QVERIFY(m_smtp->waitDone());
    QVERIFY2(m_smtp->mismatches().empty(), Mismatches().c_str());
    QTRY_COMPARE(Statuses(), QStringList({"重发", "完成"}));
  }

  void serverDownGoesToTheTitleAndRowsKeepTheirStatus() {
    const quint16 closedPort = m_smtp->port();
    m_smtp->stop();  // nothing listens there now
    Start(false, closedPort);
    StoreTask(1, kAlice, "bob@example.test", "", "");
    QVERIFY(App().ApproveTask("QV000000001"));
    RunSendQueue();
    QTRY_COMPARE(m_signer->Title(), QStringLiteral("主管签审 - 提交任务失败.(10061) - 1 待审"));
    QCOMPARE(Statuses(), QStringList({"待发"}));
  }

  // Every period while online: a mailbox check (which lists a new task), then the queue is sent;
  // later periods send nothing that was sent.
  void driverChecksAndSendsWhileOnline() {
    for (int session = 0; session < 100; ++session) {
      if (session == 1)
        Pop3Download(m_pop3->connection(), {HeldMessage("Fetched", "md5001")});
      else
        Pop3Download(m_pop3->connection(), {});
    }
    m_pop3->start();
    Script& first = SmtpGreet(m_smtp->connection(), false);
    SmtpQuit(SmtpAccept(first, "alice@example.test", {"bob@example.test"}));
    for (int session = 0; session < 100; ++session)
      SmtpQuit(SmtpGreet(m_smtp->connection(), false));
    m_smtp->start();

    m_signer = std::make_unique<SignerFixture>(tagSignerOptions{
        .m_bCheckAtStart = false, .m_driverPeriod = std::chrono::milliseconds(300)});
    QVERIFY(m_signer->Start());
    // Queued in an earlier run: listed at login and sent in the first period.
    WriteTask(1, kAlice, "bob@example.test", "", "");
    QCOMPARE(QueueTaskMessage("boss", "QV000000001", kTaskApprove, ""), QueueOutcome::kQueued);
    fs::remove("HOME_boss/QV000000001.eml");
    fs::remove("HOME_boss/QV000000001.inf");
    QVERIFY(m_signer->LogIn(Login()));
    QTRY_COMPARE_WITH_TIMEOUT(Statuses(), QStringList({"完成"}), 10000);
    QTRY_COMPARE(App().m_pTaskView->RowCount(), 1);  // fetched by the driver's check
    QTRY_VERIFY(m_smtp->accepted() >= 3);
    QCOMPARE(Statuses(), QStringList({"完成"}));
    QVERIFY2(m_smtp->mismatches().empty(), Mismatches().c_str());
  }

  // With the SMTP server down and the mailbox checks going through, the title keeps the send
  // failure beside the user name, period after period.
  void driverKeepsASendFailureInTheTitle() {
    for (int session = 0; session < 100; ++session) Pop3Download(m_pop3->connection(), {});
    m_pop3->start();
    const quint16 closedPort = m_smtp->port();
    m_smtp->stop();
    m_signer = std::make_unique<SignerFixture>(tagSignerOptions{
        .m_bCheckAtStart = true, .m_driverPeriod = std::chrono::milliseconds(300)});
    QVERIFY(m_signer->Start());
    const QString bothShown = QStringLiteral("主管签审 - boss - 提交任务失败.(10061)");
    QStringList titles;
    connect(App().MainFrame(), &QWidget::windowTitleChanged, this,
            [&titles](const QString& title) { titles << title; });
    tagTestLogin login = Login();
    login.smtpPort = closedPort;
    QVERIFY(m_signer->AnswerLogin(login));
    QTRY_COMPARE_WITH_TIMEOUT(m_signer->Title(), bothShown, 10000);
    const qsizetype shown = titles.indexOf(bothShown);
    QTRY_VERIFY_WITH_TIMEOUT(m_pop3->accepted() >= 5, 10000);
    for (qsizetype i = shown; i < titles.size(); ++i) QCOMPARE(titles[i], bothShown);
  }

  // A check that cannot reach the mailbox keeps the login: the next periods try it again without
  // asking for the password, and the queue is sent meanwhile.
  void outageKeepsTheLoginAndSendingGoesOn() {
    m_pop3->connection().close();  // the server restarts
    m_pop3->connection().close();
    Pop3Download(m_pop3->connection(), {HeldMessage("After the outage", "md5001")});
    for (int session = 0; session < 100; ++session) Pop3Download(m_pop3->connection(), {});
    m_pop3->start();
    Script& first = SmtpGreet(m_smtp->connection(), false);
    SmtpQuit(SmtpAccept(first, "alice@example.test", {"bob@example.test"}));
    for (int session = 0; session < 100; ++session)
      SmtpQuit(SmtpGreet(m_smtp->connection(), false));
    m_smtp->start();
    m_signer = std::make_unique<SignerFixture>(tagSignerOptions{
        .m_bCheckAtStart = false, .m_driverPeriod = std::chrono::milliseconds(300)});
    QVERIFY(m_signer->Start());
    WriteTask(1, kAlice, "bob@example.test", "", "");
    QCOMPARE(QueueTaskMessage("boss", "QV000000001", kTaskApprove, ""), QueueOutcome::kQueued);
    fs::remove("HOME_boss/QV000000001.eml");
    fs::remove("HOME_boss/QV000000001.inf");

    QVERIFY(m_signer->LogIn(Login()));
    QTRY_VERIFY(m_signer->Title().startsWith(QStringLiteral("主管签审 - 登录到服务器失败。")));
    QTRY_COMPARE_WITH_TIMEOUT(Statuses(), QStringList({"完成"}), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(App().m_pTaskView->RowCount(), 1, 10000);
    QTRY_COMPARE(m_signer->Title(), QStringLiteral("主管签审 - boss - 1 待审"));
    QVERIFY(!App().LoginPrompt()->Dialog().isVisible());
    QVERIFY(App().m_bOnline);
  }

  // The driver on its own, with no window: offline it does nothing; online it asks for a check
  // and reports a failed connection through its signals, which arrive on this thread.
  void driverAloneReportsThroughItsSignals() {
    const int port = ClosedPort();
    const CTaskLists lists;
    CSendDriver driver([port] { return tagSignerAccount{"127.0.0.1", port, false, "boss", "pw"}; },
                       lists, std::chrono::milliseconds(50));
    int checks = 0;
    QStringList statuses;
    QObject receiver;
    connect(&driver, &CSendDriver::CheckWanted, &receiver, [&] { ++checks; });
    connect(&driver, &CSendDriver::StatusReported, &receiver,
            [&](const std::string& text) { statuses << QString::fromStdString(text); });
    driver.Start();
    QTest::qWait(300);
    QCOMPARE(checks, 0);
    QVERIFY(statuses.isEmpty());
    driver.SetOnline(true);
    QTRY_VERIFY(!statuses.isEmpty());
    QVERIFY(checks >= 1);
    QVERIFY2(statuses.front().startsWith(QStringLiteral("提交任务失败.(")),
             qPrintable(statuses.front()));
    QVERIFY(driver.Stop(std::chrono::seconds(10)));
  }

  // Each worker's last failure stays in the title until that worker succeeds again; both can show.
  void failuresStayUntilTheirWorkerSucceeds() {
    Pop3Download(m_pop3->connection(), {});
    Pop3Download(m_pop3->connection(), {});
    m_pop3->connection().close();
    Pop3Download(m_pop3->connection(), {});
    m_pop3->start();
    m_smtp->connection().close();
    SmtpQuit(SmtpGreet(m_smtp->connection(), false));
    m_smtp->start();
    m_signer = std::make_unique<SignerFixture>(
        tagSignerOptions{.m_bCheckAtStart = false, .m_driverPeriod = std::chrono::hours(1)});
    QVERIFY(m_signer->Start());
    QVERIFY(m_signer->LogIn(Login()));
    QTRY_COMPARE(m_signer->Title(), QStringLiteral("主管签审 - boss"));

    RunSendQueue();  // the SMTP server hangs up at once
    QTRY_VERIFY(m_signer->Title().startsWith(QStringLiteral("主管签审 - boss - 提交任务失败.(")));
    const QString sendFailure = m_signer->Title().mid(QStringLiteral("主管签审 - boss - ").size());
    CheckOnce();  // a check that gets through leaves the send failure
    QCOMPARE(m_signer->Title(), QStringLiteral("主管签审 - boss - ") + sendFailure);
    CheckOnce();  // the POP3 server hangs up at once
    QTRY_VERIFY(m_signer->Title().startsWith(QStringLiteral("主管签审 - 登录到服务器失败。")));
    QVERIFY(m_signer->Title().endsWith(QStringLiteral(" - ") + sendFailure));
    RunSendQueue();  // a run that sends everything it tries clears its failure
    QTRY_VERIFY(!m_signer->Title().contains(sendFailure));
    QVERIFY(m_signer->Title().startsWith(QStringLiteral("主管签审 - 登录到服务器失败。")));
    CheckOnce();
    QTRY_COMPARE(m_signer->Title(), QStringLiteral("主管签审 - boss"));
    QVERIFY(m_pop3->waitDone());
    QVERIFY2(m_smtp->mismatches().empty(), Mismatches().c_str());
  }

 private:
  // A loopback port that nothing listens on.
  static int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      port = ntohs(address.sin_port);
    ::close(fd);
    return port;
  }
  tagTestLogin Login() const {
    return {.user = "boss",
            .password = "boss-secret",
            .pop3Port = m_pop3->port(),
            .smtpPort = m_smtp->port(),
            .auth = false};
  }
  CSignerApp& App() { return m_signer->App(); }
  std::string Mismatches() const {
    std::string text;
    for (const std::string& mismatch : m_smtp->mismatches()) text += mismatch + "\n";
    return text;
  }

  // A running client whose account is set, without a login and with a driver that never runs.
  void Start(bool auth, quint16 smtpPort = 0) {
    m_signer = std::make_unique<SignerFixture>(
        tagSignerOptions{.m_bCheckAtStart = false, .m_driverPeriod = std::chrono::hours(1)});
    QVERIFY(m_signer->Start());
    QVERIFY(m_signer->UseAccount(
        {"127.0.0.1", smtpPort ? smtpPort : m_smtp->port(), auth, "boss", "boss-secret"}));
  }

  // A task in the store, and in the task list.
  void StoreTask(int n, const std::string& from, const std::string& to, const std::string& cc,
                 const std::string& bcc) {
    WriteTask(n, from, to, cc, bcc);
    const std::string id = FormatTaskId(std::to_string(n));
    App().ListTask(TaskHeadPath("./HOME_boss", id));
    QTRY_VERIFY(App().m_pTaskView->FindRow(id) >= 0);
  }

  static void WriteTask(int n, const std::string& from, const std::string& to,
                        const std::string& cc, const std::string& bcc) {
    const std::string home = HomeDirectory("boss");
    const std::string id = FormatTaskId(std::to_string(n));
    const std::string subject = "Task " + std::to_string(n);
    testsupport::writeFile(
        TaskMessagePath(home, id),
        "From: " + from + "\r\nTo: " + to + "\r\nSubject: " + subject + "\r\n\r\nBody\r\n");
    WriteTaskHead(TaskHeadPath(home, id), {from, to, cc, bcc, subject, id, ""});
  }

  static std::string Queued(const std::string& id) {
    return testsupport::readFile(TaskMessagePath("HOME_boss/Queue", id));
  }

  // Runs SendQueue on a thread of its own, as the driver does, while this thread serves the lists.
  void RunSendQueue() {
    std::atomic<bool> done{false};
    const std::atomic<bool> stopping{false};
    std::thread sender([&] {
      SendQueue(*App().SendDriver(), stopping);
      done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
    sender.join();
  }

  // Asks for a check and waits until it has ended and its title is shown.
  void CheckOnce() {
    App().PostCheckMailBox();
    QMetaObject::invokeMethod(App().CheckMailBox(), [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::processEvents();
  }

  QStringList Statuses() {
    QStringList statuses;
    for (int row = 0; row < App().m_pQueueView->RowCount(); ++row)
      statuses << QString::fromUtf8(SendStatusText(App().m_pQueueView->Status(row)));
    return statuses;
  }

  std::unique_ptr<testsupport::ScriptedServer> m_smtp;
  std::unique_ptr<testsupport::ScriptedServer> m_pop3;
  std::unique_ptr<SignerFixture> m_signer;
};

QTEST_MAIN(SendQueueTest)
#include "send_queue_test.moc"
