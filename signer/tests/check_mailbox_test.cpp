// The mailbox check worker against a scripted POP3 server: login, download into the task store,
// listing, duplicates, progress and failures.
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>
#include <filesystem>

#include "queue/queue_task.h"
#include "signer_fixture.h"
#include "store/decision_journal.h"
#include "store/login_settings.h"
#include "store/task_store.h"
#include "views/queue_view.h"
#include "views/signer_view.h"
#include "views/task_model.h"

namespace fs = std::filesystem;

class CheckMailBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_signer = std::make_unique<SignerFixture>();
    m_pop3 = std::make_unique<testsupport::ScriptedServer>();
    QVERIFY(m_signer->Start());
    connect(&m_signer->App(), &CSignerApp::DownloadProgress, this,
            [this](int current, int count) { m_progress << QPoint(current, count); });
    m_progress.clear();
  }
  void cleanup() {
    QVERIFY2(m_pop3->mismatches().empty(), Mismatches().c_str());
    m_pop3->stop();
    m_signer.reset();
  }

  void emptyMailbox() {
    Pop3Download(m_pop3->connection(), {});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Frame()->ProgressPane()->text(), QStringLiteral("下载任务:0/0"));
    QTRY_COMPARE(m_signer->Title(), QStringLiteral("主管签审 - boss"));
    QCOMPARE(Tasks()->RowCount(), 0);
    QVERIFY(m_signer->App().m_bOnline);
  }

  void threeMessagesBecomeTasksNewestOnTop() {
    Pop3Download(m_pop3->connection(), {HeldMessage("One", "md5001"), HeldMessage("Two", "md5002"),
                                        HeldMessage("Three", "md5003")});
    m_pop3->start();
    QSignalSpy arrived(m_signer->App().CheckMailBox(), &CCheckMailBox::TasksArrived);
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 3);
    // One notice for the check, naming the three new tasks.
    QTRY_COMPARE(arrived.size(), 1);
    QCOMPARE(arrived[0][0].toInt(), 3);
    QCOMPARE(m_progress, QList<QPoint>({{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    QCOMPARE(Frame()->ProgressPane()->text(), QStringLiteral("下载任务:3/3"));
    QCOMPARE(Column(Tasks(), CTaskModel::kTaskId), QStringList({"QV000000003", "QV000000002", "QV000000001"}));
    QCOMPARE(Column(Tasks(), 2), QStringList({"Three", "Two", "One"}));
    QCOMPARE(Tasks()->CellText(0, 0), "\"Alice\" <alice@example.test>");
    QCOMPARE(Tasks()->CellText(0, 1), "bob@example.test");

    const std::string home = "HOME_boss";
    QCOMPARE(testsupport::readFile(TaskMessagePath(home, "QV000000002")),
             HeldMessage("Two", "md5002"));
    const tagTaskHead head = ReadTaskHead(TaskHeadPath(home, "QV000000002"), 1023);
    QCOMPARE(head.Cc, "carol@example.test");
    QCOMPARE(head.Bcc, "");
    QCOMPARE(head.MsgId, "QV000000002");
    QCOMPARE(head.WaterId, "with ESMTP id md5002");
  }

  void sameHeldMessageTwiceIsListedOnce() {
    Pop3Download(m_pop3->connection(), {HeldMessage("Once", "md5007"),
                                        HeldMessage("Once", "md5007"), HeldMessage("Other", "")});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 2);
    QCOMPARE(Column(Tasks(), CTaskModel::kTaskId), QStringList({"QV000000003", "QV000000001"}));
    QCOMPARE(StoredTaskIds("HOME_boss"), (std::vector<std::string>{"QV000000001", "QV000000003"}));
    QVERIFY(!fs::exists(TaskHeadPath("HOME_boss", "QV000000002")));
  }

  // A message without a WaterId is never taken for a copy of another.
  void messagesWithoutWaterIdAreAllListed() {
    const std::string plain = "From: a@example.test\r\nSubject: plain\r\n\r\nx\r\n";
    Pop3Download(m_pop3->connection(), {plain, plain});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 2);
  }

  // The first login lists the stored tasks and the queue; with the counter file lost, a download
  // passes over the ids already in use.
  void firstLoginLoadsTheStoreAndLostCounterOverwritesNothing() {
    const std::string home = HomeDirectory("boss");
    const std::string queue = QueueDirectory("boss");
    testsupport::writeFile(TaskMessagePath(home, "QV000000001"), "stored");
    WriteTaskHead(TaskHeadPath(home, "QV000000001"),
                  {"a@example.test", "b@example.test", "", "", "Stored", "QV000000001", "w1"});
    testsupport::writeFile(TaskMessagePath(queue, "QV000000002"), "queued");
    WriteTaskHead(TaskHeadPath(queue, "QV000000002"),
                  {"c@example.test", "d@example.test", "", "", "Queued", "QV000000002", "w2"});
    Pop3Download(m_pop3->connection(), {HeldMessage("New", "md5009")});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 2);
    QCOMPARE(Column(Tasks(), CTaskModel::kTaskId), QStringList({"QV000000003", "QV000000001"}));
    QCOMPARE(testsupport::readFile(TaskMessagePath(home, "QV000000001")), "stored");
    QTRY_COMPARE(Queue()->RowCount(), 1);
    QCOMPARE(Queue()->Status(0), SendStatus::kWaiting);
    QCOMPARE(Queue()->CellText(0, 2), "Queued");
    QCOMPARE(Queue()->TaskId(0), "QV000000002");
  }

  // Encoded words that decode to line breaks stay inside their values: they neither add a
  // recipient nor name the task.
  void decodedHeadersCannotSteerTheTask() {
    PlantVictim();
    const std::string message =
        "Received: from pc1 by mail.example.test with ESMTP id md5001.msg\r\n"
        "From: =?utf-8?b?eA0KQmNjPXNweUBldmlsLnRlc3Q=?= <alice@example.test>\r\n"  // x CR LF Bcc=..
        "To: bob@example.test\r\n"
        "Subject: =?utf-8?b?DQpNc2dJZD0uLi92aWN0aW0=?=\r\n"  // CR LF MsgId=../victim
        "\r\nBody\r\n";
    Pop3Download(m_pop3->connection(), {message});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 1);
    QCOMPARE(Tasks()->TaskId(0), "QV000000001");
    const tagTaskHead head = ReadTaskHead(TaskHeadPath("HOME_boss", "QV000000001"), 1023);
    QCOMPARE(head.Bcc, "");
    QCOMPARE(head.MsgId, "QV000000001");
    QVERIFY(head.From.find("Bcc=spy@evil.test") != std::string::npos);

    QVERIFY(m_signer->App().ApproveTask(Tasks()->TaskId(0)));
    QCOMPARE(ReadTaskHead(TaskHeadPath("HOME_boss/Queue", "QV000000001"), 1023).Bcc, "");
    QCOMPARE(Queue()->TaskId(0), "QV000000001");
    ExpectVictimUntouched();
  }

  // A task is known by the name of its files, whatever its summary says.
  void plantedSummaryIsListedUnderItsFileName() {
    PlantVictim();
    const std::string home = HomeDirectory("boss");
    testsupport::writeFile(TaskMessagePath(home, "QV000000001"),
                           "From: a@example.test\r\nSubject: planted\r\n\r\nx\r\n");
    WriteTaskHead(TaskHeadPath(home, "QV000000001"),
                  {"a@example.test", "b@example.test", "", "", "planted", "../victim", "w1"});
    Pop3Download(m_pop3->connection(), {});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 1);
    QCOMPARE(Tasks()->TaskId(0), "QV000000001");
    QVERIFY(m_signer->App().ApproveTask(Tasks()->TaskId(0)));
    QVERIFY(fs::exists(TaskMessagePath("HOME_boss/Queue", "QV000000001")));
    ExpectVictimUntouched();
  }

  // Files that form no complete task are set aside at load: not listed, and not the original of
  // which a fresh download would be taken for a copy.
  void leftoversAreSetAsideAndNeverTakenForTheOriginal() {
    const std::string home = HomeDirectory("boss");
    const tagTaskHead sameWaterId{"a@example.test", "", "", "", "old", "", "with ESMTP id md5001"};
    testsupport::writeFile(home + "/notatask.eml", HeldMessage("One", "md5001"));
    WriteTaskHead(home + "/notatask.inf", sameWaterId);
    testsupport::writeFile(TaskMessagePath(home, "QV000000002"), "Received: short");
    WriteTaskHead(TaskHeadPath(home, "QV000000003"), sameWaterId);
    testsupport::writeFile(TaskMessagePath(home, "QV000000004") + ".~77.0", "Rec");
    Pop3Download(m_pop3->connection(), {HeldMessage("One", "md5001")});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 1);
    QTest::qWait(50);
    QCOMPARE(Tasks()->RowCount(), 1);
    QCOMPARE(Tasks()->CellText(0, 2), "One");
    QCOMPARE(StoredTaskIds(home), std::vector<std::string>{Tasks()->TaskId(0)});
    QCOMPARE(testsupport::readFile(TaskMessagePath(home, Tasks()->TaskId(0))),
             HeldMessage("One", "md5001"));
    for (const char* name : {"notatask.eml", "notatask.inf", "QV000000002.eml", "QV000000003.inf",
                             "QV000000004.eml.~77.0"}) {
      QVERIFY2(fs::exists(IncompleteDirectory(home) + "/" + name), name);
      QVERIFY2(!fs::exists(home + "/" + name), name);
    }
  }

  // A login name that is a full address uses the store of its local part and returns come from it.
  void fullAddressSharesTheStoreOfItsName() {
    const std::string home = HomeDirectory("boss");
    testsupport::writeFile(TaskMessagePath(home, "QV000000001"), "From: a@x\r\n\r\nstored\r\n");
    WriteTaskHead(TaskHeadPath(home, "QV000000001"),
                  {"a@x", "b@x", "", "", "Stored", "QV000000001", "w1"});
    testsupport::writeFile(TaskMessagePath(home, "QV000000007"), "counter: 7");  // HiWater.mrk lost
    testsupport::Script& script = m_pop3->connection()
                                      .send("+OK ready\r\n")
                                      .expect("USER boss@demo.test")
                                      .send("+OK\r\n")
                                      .expect("PASS boss-secret")
                                      .send("+OK logged in\r\n");
    Pop3List(script, 1)
        .expect("RETR 1")
        .send("+OK\r\n" + HeldMessage("New", "md5009") + ".\r\n")
        .expect("DELE 1")
        .send("+OK\r\n")
        .expect("QUIT")
        .send("+OK bye\r\n");
    m_pop3->start();
    tagTestLogin login = Login();
    login.user = "boss@demo.test";
    QVERIFY(m_signer->LogIn(login));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 2);
    QCOMPARE(Column(Tasks(), CTaskModel::kTaskId), QStringList({"QV000000002", "QV000000001"}));
    QTRY_COMPARE(m_signer->Title(), QStringLiteral("主管签审 - boss@demo.test - 2 待审"));
    QVERIFY(!fs::exists("HOME_boss@demo.test"));

    QVERIFY(m_signer->App().ReturnTask("QV000000002", "no"));
    const tagTaskHead queued = ReadTaskHead(TaskHeadPath("HOME_boss/Queue", "QV000000002"), 1023);
    QCOMPARE(queued.From, "boss@demo.test");
    QCOMPARE(queued.To, "\"Alice\" <alice@example.test>");
  }

  // The server drops the connection at QUIT, so it does not commit its deletions: after a restart
  // it offers the task already approved again. That copy is deleted on the server, not listed.
  void decidedTaskOfferedAgainAfterARestartIsNotListed() {
    const std::string held = HeldMessage("Once", "md5042");
    Pop3List(Pop3LogIn(m_pop3->connection()).send("+OK\r\n"), 1)
        .expect("RETR 1")
        .send("+OK\r\n" + held + ".\r\n")
        .expect("DELE 1")
        .send("+OK\r\n")
        .expect("QUIT")
        .close();
    Pop3Download(m_pop3->connection(), {held});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QTRY_COMPARE(Tasks()->RowCount(), 1);
    QVERIFY(m_signer->App().ApproveTask("QV000000001"));

    QVERIFY(m_signer->Restart());
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Queue()->RowCount(), 1);
    QTest::qWait(200);
    QCOMPARE(Tasks()->RowCount(), 0);
    QCOMPARE(Queue()->TaskId(0), "QV000000001");
    QCOMPARE(StoredTaskIds("HOME_boss"), std::vector<std::string>{});
    // Both sessions deleted it; the second one's QUIT commits that.
    const std::string second = m_pop3->received().substr(m_pop3->received().find("QUIT"));
    QVERIFY(second.find("RETR 1\r\nDELE 1\r\nQUIT\r\n") != std::string::npos);
  }

  // What a process that died while approving or sending left is settled before the lists are
  // filled; a stored task is listed even when the journal has its WaterId.
  void loadSettlesInterruptedStepsAndKeepsStoredTasks() {
    const std::string home = HomeDirectory("boss");
    const std::string queue = QueueDirectory("boss");
    for (int n = 1; n <= 4; ++n) {
      const std::string id = FormatTaskId(std::to_string(n));
      testsupport::writeFile(TaskMessagePath(home, id), HeldMessage("Task", "md500"));
      WriteTaskHead(TaskHeadPath(home, id), {"a@example.test", "b@example.test", "", "",
                                             "Task " + std::to_string(n), id, "w" + std::to_string(n)});
      if (n < 4) QCOMPARE(QueueTaskMessage("boss", id, kTaskApprove, ""), QueueOutcome::kQueued);
    }
    // 1: queued but still at home. 2: sent, the record not yet cleared away. 3: the queued
    // message written, its header summary not. 4: at home, its WaterId decided once already.
    fs::remove(TaskHeadPath(home, "QV000000002"));
    fs::remove(TaskMessagePath(home, "QV000000002"));
    fs::rename(TaskHeadPath(queue, "QV000000002"), SentRecordPath(queue, "QV000000002"));
    fs::remove(TaskHeadPath(queue, "QV000000003"));
    QVERIFY(AppendDecision(home, {"2024-01-01 00:00:00", "QV000000000", "w4", "", "", "", "approve",
                                  "", "boss"}));
    Pop3Download(m_pop3->connection(), {});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 2);
    QCOMPARE(Column(Tasks(), CTaskModel::kTaskId), QStringList({"QV000000004", "QV000000003"}));
    QTRY_COMPARE(Queue()->RowCount(), 1);
    QCOMPARE(Queue()->TaskId(0), "QV000000001");
    QCOMPARE(StoredTaskIds(queue), std::vector<std::string>{"QV000000001"});
    QVERIFY(!fs::exists(SentRecordPath(queue, "QV000000002")));
  }

  void wrongPasswordLogsOutAndRefreshAsksAgain() {
    Pop3LogIn(m_pop3->connection(), "wrong")
        .send("-ERR [AUTH] Authentication failed.\r\n")
        .expect("QUIT")
        .send("+OK Logging out\r\n");
    Pop3Download(m_pop3->connection(), {});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login("wrong")));
    QTRY_COMPARE(
        m_signer->Title(),
        QStringLiteral("主管签审 - 登录到服务器失败。-ERR [AUTH] Authentication failed. (4946)"));
    QVERIFY(!m_signer->App().m_bOnline);

    Frame()->Command(res::ID_REFRESH)->trigger();
    QVERIFY(m_signer->AnswerLogin(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(m_signer->Title(), QStringLiteral("主管签审 - boss"));
    QVERIFY(m_signer->App().m_bOnline);
  }

  // Only a refused login asks for the password again; a server that hangs up keeps the login.
  void droppedConnectionKeepsTheLogin() {
    m_pop3->connection().close();
    Pop3Download(m_pop3->connection(), {HeldMessage("Later", "md5001")});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QTRY_VERIFY(m_signer->Title().startsWith(QStringLiteral("主管签审 - 登录到服务器失败。")));
    QVERIFY(m_signer->App().m_bOnline);
    m_signer->App().PostCheckMailBox();
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 1);
    QTRY_COMPARE(m_signer->Title(), QStringLiteral("主管签审 - boss - 1 待审"));
    QVERIFY(!m_signer->App().LoginPrompt()->Dialog().isVisible());
  }

  // 登录... with another user lists that user's store alone, with a duplicate list of its own; with
  // the same user it only takes the new settings.
  void changingTheLoginListsTheStoreOfTheNewUser() {
    StoreOne("boss", "QV000000001", "Boss task", "with ESMTP id md5001");
    StoreQueued("boss", "QV000000002", "Boss queued");
    StoreOne("clerk", "QV000000005", "Clerk task", "with ESMTP id md5005");
    Pop3Download(m_pop3->connection(), {});
    // The boss listed md5001 in this run; for the clerk it is a task of its own.
    Pop3List(ClerkLogIn(m_pop3->connection()), 1)
        .expect("RETR 1")
        .send("+OK\r\n" + HeldMessage("Clerk new", "md5001") + ".\r\n")
        .expect("DELE 1")
        .send("+OK\r\n")
        .expect("QUIT")
        .send("+OK\r\n");
    Pop3List(ClerkLogIn(m_pop3->connection()), 0).expect("QUIT").send("+OK\r\n");
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QTRY_COMPARE(Tasks()->RowCount(), 1);
    QTRY_COMPARE(Queue()->RowCount(), 1);

    QAction* change = Frame()->Command(res::ID_FILE_LOGIN);
    QVERIFY(change);
    change->trigger();
    QVERIFY(m_signer->AnswerLogin({.user = "clerk",
                                   .password = "clerk-secret",
                                   .pop3Port = m_pop3->port(),
                                   .smtpPort = 2525}));
    QTRY_COMPARE(m_signer->Title(), QStringLiteral("主管签审 - clerk - 2 待审"));
    QTRY_COMPARE(Column(Tasks(), 2), QStringList({"Clerk new", "Clerk task"}));
    QCOMPARE(Queue()->RowCount(), 0);
    QCOMPARE(m_signer->App().UserName(), "clerk");
    QCOMPARE(m_signer->App().Account().m_nSMTPPort, 2525);
    QVERIFY(m_signer->App().ApproveTask("QV000000005"));
    QVERIFY(fs::exists(TaskHeadPath("HOME_clerk/Queue", "QV000000005")));
    QTRY_COMPARE(Queue()->RowCount(), 1);

    change->trigger();
    QVERIFY(m_signer->AnswerLogin({.user = "clerk",
                                   .password = "clerk-secret",
                                   .pop3Port = m_pop3->port(),
                                   .smtpPort = 587}));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(m_signer->App().Account().m_nSMTPPort, 587);
    QTest::qWait(100);
    QCOMPARE(Column(Tasks(), 2), QStringList({"Clerk new"}));
    QCOMPARE(Queue()->RowCount(), 1);
  }

  // The tasks and the queue of the user in Signer.ini are listed at start; deciding waits for the
  // login.
  void storeOfTheLastUserIsListedBeforeTheLogin() {
    WriteLoginSettings({"boss", "127.0.0.1", m_pop3->port(), 25, false});
    StoreOne("boss", "QV000000001", "Stored", "with ESMTP id md5001");
    StoreQueued("boss", "QV000000002", "Queued");
    testsupport::writeFile(TaskMessagePath(HomeDirectory("boss"), "QV000000003"), "half");
    QVERIFY(m_signer->Restart());
    QTRY_COMPARE(Tasks()->RowCount(), 1);
    QTRY_COMPARE(Queue()->RowCount(), 1);
    QVERIFY(fs::exists(IncompleteDirectory(HomeDirectory("boss")) + "/QV000000003.eml"));
    QVERIFY(!Frame()->Command(res::ID_TASK_APPROVE)->isEnabled());
    QVERIFY(!Frame()->Command(res::ID_TASK_RETURN)->isEnabled());
    QVERIFY(Frame()->Command(res::ID_TASK_READ)->isEnabled());
    QVERIFY(!m_signer->App().ApproveTask("QV000000001"));
    QVERIFY(fs::exists(TaskHeadPath("HOME_boss", "QV000000001")));

    // The same held message comes again: the copy is known from the list made at start.
    Pop3Download(m_pop3->connection(), {HeldMessage("Stored", "md5001")});
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_VERIFY(Frame()->Command(res::ID_TASK_APPROVE)->isEnabled());
    QTest::qWait(100);
    QCOMPARE(Tasks()->RowCount(), 1);
    QCOMPARE(Queue()->RowCount(), 1);
    QVERIFY(m_signer->App().ApproveTask("QV000000001"));
    QCOMPARE(Queue()->RowCount(), 2);
  }

  // A store larger than one batch of rows is listed whole: newest first, the newest selected, a
  // second copy of a held message dropped even when the first was listed in an earlier batch.
  void largeStoreIsListedWholeNewestFirst() {
    constexpr int kStored = 1203;
    constexpr int kQueued = 601;
    WriteLoginSettings({"boss", "127.0.0.1", m_pop3->port(), 25, false});
    for (int n = 1; n <= kStored + kQueued; ++n) {
      const bool queued = n > kStored;
      const std::string dir = queued ? QueueDirectory("boss") : HomeDirectory("boss");
      const std::string id = FormatTaskId(std::to_string(n));
      // Task 1100 is the mail server's second copy of task 7.
      const int water = n == 1100 ? 7 : n;
      testsupport::writeFile(TaskMessagePath(dir, id), "x");
      testsupport::writeFile(TaskHeadPath(dir, id),
                             "[Head]\r\nSubject=S" + std::to_string(n) +
                                 "\r\nWaterId=with ESMTP id w" + std::to_string(water) + "\r\n");
    }
    QVERIFY(m_signer->Restart());
    QTRY_COMPARE(Queue()->RowCount(), kQueued);
    QCOMPARE(Tasks()->RowCount(), kStored - 1);
    QStringList subjects;
    for (int n = kStored; n >= 1; --n)
      if (n != 1100) subjects << QStringLiteral("S%1").arg(n);
    QCOMPARE(Column(Tasks(), 2), subjects);
    QVERIFY(!fs::exists(TaskHeadPath("HOME_boss", "QV000001100")));
    QVERIFY(fs::exists(TaskHeadPath("HOME_boss", "QV000000007")));
    QCOMPARE(Queue()->TaskId(0), FormatTaskId(std::to_string(kStored + 1)));
    QCOMPARE(Queue()->TaskId(kQueued - 1), FormatTaskId(std::to_string(kStored + kQueued)));
    QTRY_COMPARE(Tasks()->SelectedRows(), std::vector<int>({0}));
  }

  void cancelledLoginChecksNothing() {
    m_pop3->start();
    m_signer->App().PostCheckMailBox();
    QVERIFY(m_signer->AnswerLogin(Login(), true));
    QTest::qWait(100);
    QCOMPARE(m_pop3->accepted(), 0);
    QCOMPARE(m_signer->Title(), QStringLiteral("主管签审"));
  }

  // A failure ends the check; the message stays on the server for the next one.
  void failedRetrieveIsReportedAndLeavesTheMessage() {
    Pop3List(Pop3LogIn(m_pop3->connection()).send("+OK\r\n"), 2)
        .expect("RETR 1")
        .send("+OK\r\n" + HeldMessage("One", "md5001") + ".\r\n")
        .expect("DELE 1")
        .send("+OK\r\n")
        .expect("RETR 2")
        .send("-ERR no such message\r\n")
        .expect("QUIT")
        .send("+OK\r\n");
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(m_signer->Title(),
                 QStringLiteral("主管签审 - 接收邮件失败。-ERR no such message (0) - 1 待审"));
    QCOMPARE(Tasks()->RowCount(), 1);
  }

  // A message larger than the session takes is left on the server without blocking the ones after
  // it.
  void messageOverTheSizeLimitIsPassedOver() {
    const std::string stat = "+OK 2 100000100\r\n";
    Pop3LogIn(m_pop3->connection())
        .send("+OK\r\n")
        .expect("STAT")
        .send(stat)
        .expect("STAT")
        .send(stat)
        .expect("LIST")
        .send("+OK\r\n1 100000000\r\n2 100\r\n.\r\n")
        .expect("RETR 2")
        .send("+OK\r\n" + HeldMessage("Two", "md5002") + ".\r\n")
        .expect("DELE 2")
        .send("+OK\r\n")
        .expect("QUIT")
        .send("+OK\r\n");
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QVERIFY(m_pop3->waitDone());
    QTRY_COMPARE(Tasks()->RowCount(), 1);
    QCOMPARE(Tasks()->CellText(0, 2), "Two");
    QVERIFY(m_signer->Title().contains("接收邮件失败。Message 1 is larger than the limit"));
  }

  // Exit gives up on a check that waits for a silent server; the worker ends with the process.
  void exitDoesNotWaitForASilentServer() {
    Pop3LogIn(m_pop3->connection()).silence();
    m_pop3->start();
    QVERIFY(m_signer->LogIn(Login()));
    QTRY_COMPARE(m_pop3->accepted(), 1);
    QTest::qWait(100);  // the password is on its way
    QVERIFY(!m_signer->App().ExitInstance());
  }

 private:
  tagTestLogin Login(const std::string& password = "boss-secret") const {
    return {.user = "boss", .password = password, .pop3Port = m_pop3->port()};
  }
  // A task's files outside the store, where "../victim" from the home directory leads.
  static void PlantVictim() {
    testsupport::writeFile("victim.eml", "From: x@y\r\n\r\nnot a task\r\n");
    testsupport::writeFile("victim.inf", "[Head]\r\nFrom=x@y\r\n");
  }
  static void ExpectVictimUntouched() {
    QCOMPARE(testsupport::readFile("victim.eml"), "From: x@y\r\n\r\nnot a task\r\n");
    QCOMPARE(testsupport::readFile("victim.inf"), "[Head]\r\nFrom=x@y\r\n");
    QVERIFY(!fs::exists("HOME_boss/victim.inf"));
  }
  static testsupport::Script& ClerkLogIn(testsupport::Script& script) {
    return script.send("+OK ready\r\n")
        .expect("USER clerk")
        .send("+OK\r\n")
        .expect("PASS clerk-secret")
        .send("+OK\r\n");
  }
  static void StoreOne(const std::string& user, const std::string& id, const std::string& subject,
                       const std::string& waterId) {
    const std::string home = HomeDirectory(user);
    testsupport::writeFile(TaskMessagePath(home, id), HeldMessage(subject, "x"));
    WriteTaskHead(TaskHeadPath(home, id),
                  {"a@example.test", "b@example.test", "", "", subject, id, waterId});
  }
  static void StoreQueued(const std::string& user, const std::string& id,
                          const std::string& subject) {
    const std::string queue = QueueDirectory(user);
    testsupport::writeFile(TaskMessagePath(queue, id), HeldMessage(subject, "x"));
    WriteTaskHead(TaskHeadPath(queue, id),
                  {"a@example.test", "b@example.test", "", "", subject, id, ""});
  }
  CMainFrame* Frame() { return m_signer->App().MainFrame(); }
  CSignerView* Tasks() { return m_signer->App().m_pTaskView; }
  CQueueView* Queue() { return m_signer->App().m_pQueueView; }
  static QStringList Column(CReportList* list, int column) {
    QStringList texts;
    for (int row = 0; row < list->RowCount(); ++row)
      texts << QString::fromStdString(list->CellText(row, column));
    return texts;
  }
  std::string Mismatches() const {
    std::string text;
    for (const std::string& mismatch : m_pop3->mismatches()) text += mismatch + "\n";
    return text;
  }

  std::unique_ptr<SignerFixture> m_signer;
  std::unique_ptr<testsupport::ScriptedServer> m_pop3;
  QList<QPoint> m_progress;
};

QTEST_MAIN(CheckMailBoxTest)
#include "check_mailbox_test.moc"
