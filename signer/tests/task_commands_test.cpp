// The task list's commands: read in the desktop's mail reader (a test program made the default for
// message/rfc822 through the XDG variables), previous and next, approve, return.
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <filesystem>

#include "app/main_frame.h"
#include "platform/child_process.h"
#include "platform/profile.h"
#include "queue/queue_task.h"
#include "signer_fixture.h"
#include "store/decision_journal.h"
#include "store/login_settings.h"
#include "store/task_store.h"
#include "views/decision_view.h"
#include "views/queue_model.h"
#include "views/queue_view.h"
#include "views/signer_view.h"
#include "views/text_input.h"

namespace fs = std::filesystem;

class TaskCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(m_xdg.isValid());
    const QDir xdg(m_xdg.path());
    QVERIFY(xdg.mkpath(QStringLiteral("data/applications")) &&
            xdg.mkpath(QStringLiteral("config")) && xdg.mkpath(QStringLiteral("none")));
    WriteText(xdg.filePath(QStringLiteral("data/applications/signer-test-reader.desktop")),
              "[Desktop Entry]\nType=Application\nName=Test reader\nExec=" +
                  QCoreApplication::applicationDirPath() +
                  "/signer_fake_mail_reader %f\nMimeType=message/rfc822;\n");
    WriteText(xdg.filePath(QStringLiteral("config/mimeapps.list")),
              "[Default Applications]\nmessage/rfc822=signer-test-reader.desktop\n");
    qputenv("XDG_DATA_HOME", xdg.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", xdg.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_DIRS", xdg.filePath(QStringLiteral("none")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", xdg.filePath(QStringLiteral("none")).toUtf8());
    qunsetenv("XDG_CURRENT_DESKTOP");
    qputenv("SIGNER_TEST_READER_LOG", ReaderLogPath().toUtf8());
  }

  void init() {
    QFile::remove(ReaderLogPath());
    m_signer = std::make_unique<SignerFixture>();
    QVERIFY(m_signer->Start());
    QVERIFY(m_signer->UseAccount({"127.0.0.1", 25, false, "boss", "boss-secret"}));
    for (int n = 1; n <= 3; ++n) StoreTask(n);
    QCOMPARE(Tasks()->RowCount(), 3);  // QV000000003 on top
    // The newest is selected once the burst of arrivals is in.
    QTRY_COMPARE(Tasks()->SelectedRows(), std::vector<int>({0}));
  }
  void cleanup() { m_signer.reset(); }

  void readWithNothingSelectedDoesNothing() {
    Tasks()->clearSelection();
    Command(res::ID_TASK_READ);
    QTest::qWait(200);
    QVERIFY(!Tasks()->Reader().HasProcess());
    QVERIFY(ReaderLog().isEmpty());
  }

  // Tasks arriving to an empty selection select the newest, so that Enter reads it; once the
  // supervisor picks a row, arrivals leave the selection alone.
  void arrivingTasksSelectTheNewestAndEnterReadsIt() {
    QCOMPARE(Tasks()->SelectedRows(), std::vector<int>({0}));
    QCOMPARE(Tasks()->currentIndex().row(), 0);
    QTest::keyClick(App().MainFrame()->windowHandle(), Qt::Key_Return);
    QTRY_COMPARE(ReaderLog().size(), 1);
    QVERIFY(IsOpenOf(ReaderLog()[0], "QV000000003"));

    Select({2});
    StoreTask(4);
    QCOMPARE(Tasks()->TaskId(3), "QV000000001");
    QCOMPARE(Tasks()->SelectedRows(), std::vector<int>({3}));

    Tasks()->clearSelection();
    StoreTask(5);
    QTRY_COMPARE(Tasks()->SelectedRows(), std::vector<int>({0}));
    QCOMPARE(Tasks()->TaskId(0), "QV000000005");
  }

  // After a decision the task that followed the decided ones is selected, or the last one left.
  void theNextTaskIsSelectedAfterADecision_data() {
    QTest::addColumn<bool>("approve");
    QTest::addColumn<std::vector<int>>("decided");
    QTest::addColumn<QString>("selected");
    QTest::newRow("approve top") << true << std::vector<int>{0} << "QV000000002";
    QTest::newRow("approve middle") << true << std::vector<int>{1} << "QV000000001";
    QTest::newRow("approve bottom") << true << std::vector<int>{2} << "QV000000002";
    QTest::newRow("approve two") << true << std::vector<int>{0, 1} << "QV000000001";
    QTest::newRow("return top") << false << std::vector<int>{0} << "QV000000002";
    QTest::newRow("return bottom two") << false << std::vector<int>{1, 2} << "QV000000003";
    QTest::newRow("approve all") << true << std::vector<int>{0, 1, 2} << "";
  }
  void theNextTaskIsSelectedAfterADecision() {
    QFETCH(bool, approve);
    QFETCH(std::vector<int>, decided);
    QFETCH(QString, selected);
    Select(decided);
    if (!approve) AnswerReason("", true);
    Command(approve ? res::ID_TASK_APPROVE : res::ID_TASK_RETURN);
    QCOMPARE(Tasks()->RowCount(), 3 - static_cast<int>(decided.size()));
    QCOMPARE(SelectedTaskIds(), selected.isEmpty() ? QStringList() : QStringList({selected}));
    if (!selected.isEmpty()) {
      QCOMPARE(QString::fromStdString(
                   Tasks()->TaskId(Tasks()->currentIndex().row())),
               selected);
      Command(res::ID_TASK_READ);
      QTRY_COMPARE(ReaderLog().size(), 1);
      QVERIFY(IsOpenOf(ReaderLog()[0], selected.toLatin1().constData()));
    }
  }

  // A task that could not be decided stays selected.
  void aTaskThatFailsStaysSelected() {
    fs::remove(TaskMessagePath("HOME_boss", "QV000000002"));
    Select({0, 1});
    Command(res::ID_TASK_APPROVE);
    QCOMPARE(SelectedTaskIds(), QStringList({"QV000000002"}));
  }

  // Each row shows when its task was stored, which a restart does not change.
  void rowsShowWhenTheirTaskArrived() {
    const std::string home = HomeDirectory("boss");
    const QDateTime arrived(QDate(2026, 3, 14), QTime(9, 26, 53));
    QFile head(QString::fromStdString(TaskHeadPath(home, "QV000000002")));
    QVERIFY(head.open(QIODevice::ReadWrite));
    QVERIFY(head.setFileTime(arrived, QFileDevice::FileModificationTime));
    head.close();
    QVERIFY(m_signer->Restart());
    for (const char* id : {"QV000000001", "QV000000002", "QV000000003"})
      App().ListTask(TaskHeadPath(home, id));
    QTRY_COMPARE(Tasks()->RowCount(), 3);
    QCOMPARE(Tasks()->TaskId(1), "QV000000002");
    QCOMPARE(Tasks()->CellText(1, 3), "2026-03-14 09:26:53");
    const std::string today = QDate::currentDate().toString(Qt::ISODate).toStdString();
    QVERIFY(Tasks()->CellText(0, 3).starts_with(today));

    // The time shows whole, and the columns fill the list's width.
    QHeaderView* header = Tasks()->header();
    QVERIFY(header->sectionSize(3) >=
            Tasks()->fontMetrics().horizontalAdvance(QStringLiteral("2026-03-14 09:26:53")));
    int width = 0;
    for (int column = 0; column < Tasks()->model()->columnCount(); ++column)
      if (!Tasks()->isColumnHidden(column)) width += header->sectionSize(column);
    QCOMPARE(width, Tasks()->viewport()->width());
  }

  // A queued task shows when it was queued, in this run or an earlier one.
  void queueRowsShowWhenTheirTaskWasQueued() {
    QVERIFY(App().ApproveTask("QV000000002"));
    const QDateTime queued(QDate(2026, 3, 14), QTime(9, 26, 53));
    QFile head(QString::fromStdString(TaskHeadPath("HOME_boss/Queue", "QV000000002")));
    QVERIFY(head.open(QIODevice::ReadWrite));
    QVERIFY(head.setFileTime(queued, QFileDevice::FileModificationTime));
    head.close();
    QVERIFY(m_signer->Restart());
    QVERIFY(m_signer->UseAccount({"127.0.0.1", 25, false, "boss", "boss-secret"}));
    QTRY_COMPARE(Queue()->RowCount(), 1);
    QCOMPARE(Queue()->CellText(0, 4), "2026-03-14 09:26:53");
  }

  // The decisions view lists the journal newest first, read again each time it is shown.
  void decisionsViewListsTheJournalNewestFirst() {
    QVERIFY(App().ApproveTask("QV000000003"));
    QVERIFY(App().ReturnTask("QV000000001", "请补充附件"));
    QTest::keyClick(App().MainFrame()->windowHandle(), Qt::Key_D, Qt::ControlModifier);
    CDecisionView* decisions = App().m_pDecisionView;
    QCOMPARE(App().MainFrame()->GetActiveView(), decisions);
    QVERIFY(decisions->isVisible());
    QCOMPARE(decisions->RowCount(), 2);
    const std::vector<std::string> returned = {"退回", "\"Alice\" <alice@example.test>",
                                               "bob@example.test", "Task 1", "请补充附件"};
    const std::vector<std::string> approved = {"签发", "\"Alice\" <alice@example.test>",
                                               "bob@example.test", "Task 3", ""};
    for (int column = 1; column <= 5; ++column) {
      QCOMPARE(decisions->CellText(0, column), returned[column - 1]);
      QCOMPARE(decisions->CellText(1, column), approved[column - 1]);
    }
    QCOMPARE(decisions->CellText(0, 0), ReadDecisions("HOME_boss")[1].Time);
    QVERIFY(!(decisions->model()->flags(decisions->RowIndex(0)) & Qt::ItemIsEditable));
    for (const int id : {res::ID_TASK_READ, res::ID_TASK_APPROVE, res::ID_TASK_RETURN})
      QVERIFY(!App().MainFrame()->Command(id)->isEnabled());

    Command(res::ID_VIEW_SWITCH);  // back to the task list
    QCOMPARE(App().MainFrame()->GetActiveView(), Tasks());
    QVERIFY(App().MainFrame()->Command(res::ID_TASK_APPROVE)->isEnabled());
    QVERIFY(App().ApproveTask("QV000000002"));
    Command(res::ID_VIEW_DECISIONS);
    QCOMPARE(decisions->RowCount(), 3);
    QCOMPARE(decisions->CellText(0, 4), "Task 2");
  }

  void decisionsViewBeforeLoginIsEmpty() {
    App().SetAccount({});
    Command(res::ID_VIEW_DECISIONS);
    QCOMPARE(App().m_pDecisionView->RowCount(), 0);
    QVERIFY(!fs::exists("HOME_"));
  }

  // Pictures of the strip with tasks and with the decisions, for a look by eye.
  void screenshots() {
    const QByteArray directory = qgetenv("SIGNER_SCREENSHOT_DIR");
    if (directory.isEmpty()) QSKIP("SIGNER_SCREENSHOT_DIR is not set");
    const QString base = QString::fromLocal8Bit(directory) + "/";
    QVERIFY(App().MainFrame()->grab().save(base + "signer-tasks.png"));
    QVERIFY(App().ApproveTask("QV000000003"));
    QVERIFY(App().ReturnTask("QV000000001", "请补充附件"));
    Command(res::ID_VIEW_DECISIONS);
    QVERIFY(App().MainFrame()->grab().save(base + "signer-decisions.png"));
  }

  void readOpensTheTaskInTheReader() {
    Select({1});
    Command(res::ID_TASK_READ);
    QTRY_COMPARE(ReaderLog().size(), 1);
    QVERIFY(IsOpenOf(ReaderLog()[0], "QV000000002"));
    QVERIFY(ReaderRunning());
    m_signer->Stop();  // exit ends the reader
    QCOMPARE(ReaderLog().size(), 2);
    QVERIFY(ReaderLog()[1].startsWith("end " + PidOf(ReaderLog()[0]) + " "));
  }

  void doubleClickReads() {
    Select({2});  // as the first click of the double-click does
    emit Tasks()->doubleClicked(Tasks()->RowIndex(2));
    QTRY_COMPARE(ReaderLog().size(), 1);
    QVERIFY(IsOpenOf(ReaderLog()[0], "QV000000001"));
  }

  void previousOnTopAndNextOnBottomDoNothing() {
    Select({0});
    Command(res::ID_TASK_PREV);
    QCOMPARE(Tasks()->SelectedRows(), std::vector<int>({0}));
    Select({2});
    Command(res::ID_TASK_NEXT);
    QCOMPARE(Tasks()->SelectedRows(), std::vector<int>({2}));
  }

  void withoutReaderPreviousAndNextOnlyMove() {
    Select({0});
    Command(res::ID_TASK_NEXT);
    QCOMPARE(Tasks()->SelectedRows(), std::vector<int>({1}));
    Command(res::ID_TASK_PREV);
    QCOMPARE(Tasks()->SelectedRows(), std::vector<int>({0}));
    QTest::qWait(200);
    QVERIFY(ReaderLog().isEmpty());
  }

  // After Read, moving makes the open reader follow; once the user has closed it, moving opens
  // nothing.
  void openReaderFollowsTheSelectionUntilClosed() {
    Select({0});
    Command(res::ID_TASK_READ);
    QTRY_COMPARE(ReaderLog().size(), 1);
    Command(res::ID_TASK_NEXT);
    QCOMPARE(Tasks()->SelectedRows(), std::vector<int>({1}));
    QTRY_COMPARE(ReaderLog().size(), 3);
    QVERIFY(ReaderLog()[1].startsWith("end " + PidOf(ReaderLog()[0]) + " "));
    QVERIFY(IsOpenOf(ReaderLog()[2], "QV000000002"));

    ::kill(PidOf(ReaderLog()[2]).toInt(), SIGTERM);  // the user closes the reader
    QTRY_VERIFY(!ReaderRunning());
    Command(res::ID_TASK_NEXT);
    QCOMPARE(Tasks()->SelectedRows(), std::vector<int>({2}));
    QTest::qWait(200);
    QCOMPARE(ReaderLog().size(), 4);  // its own "end"
  }

  void approveMovesTheSelectedTasksToTheQueueAndEndsTheReader() {
    Select({0});
    Command(res::ID_TASK_READ);
    QTRY_COMPARE(ReaderLog().size(), 1);
    Select({0, 1, 2});
    Command(res::ID_TASK_APPROVE);
    QCOMPARE(Tasks()->RowCount(), 0);
    QCOMPARE(Queue()->RowCount(), 3);
    for (int row = 0; row < 3; ++row) {
      const std::string id = "QV00000000" + std::to_string(3 - row);
      QCOMPARE(Queue()->TaskId(row), id);
      QCOMPARE(Queue()->Status(row), SendStatus::kWaiting);
      QCOMPARE(Queue()->CellText(row, 1), "\"Alice\" <alice@example.test>");
      QCOMPARE(Queue()->CellText(row, 3), "bob@example.test");
      QVERIFY(!fs::exists(TaskMessagePath("HOME_boss", id)));
      QVERIFY(!fs::exists(TaskHeadPath("HOME_boss", id)));
      QVERIFY(fs::exists(TaskMessagePath("HOME_boss/Queue", id)));
    }
    QVERIFY(!ReaderRunning());
    QTRY_COMPARE(ReaderLog().size(), 2);
    QVERIFY(ReaderLog()[1].startsWith("end "));

    // Moving opens nothing once approval has ended the reader.
    StoreTask(4);
    StoreTask(5);
    Select({0});
    Command(res::ID_TASK_NEXT);
    QTest::qWait(200);
    QCOMPARE(ReaderLog().size(), 2);
  }

  void approvalThatFailsKeepsTheRow() {
    fs::remove(TaskMessagePath("HOME_boss", "QV000000002"));
    Select({0, 1});
    Command(res::ID_TASK_APPROVE);
    QCOMPARE(Tasks()->RowCount(), 2);
    QCOMPARE(Tasks()->TaskId(0), "QV000000002");
    QCOMPARE(Queue()->RowCount(), 1);
    QCOMPARE(Queue()->TaskId(0), "QV000000003");
  }

  void returnSendsTheTaskBackWithTheReason() {
    Select({2});
    AnswerReason("请补充附件", true);
    Command(res::ID_TASK_RETURN);
    QCOMPARE(Tasks()->RowCount(), 2);
    QCOMPARE(Queue()->RowCount(), 1);
    QCOMPARE(Queue()->CellText(0, 1), "boss@example.test");
    QCOMPARE(Queue()->CellText(0, 2), "Task 1");
    QCOMPARE(Queue()->CellText(0, 3), "\"Alice\" <alice@example.test>");
    const std::string queued = testsupport::readFile("HOME_boss/Queue/QV000000001.eml");
    // "审核退回:Task 1" and "请补充附件", as UTF-8 encoded words.
    QVERIFY(queued.find("Subject: =?UTF-8?B?5a6h5qC46YCA5ZueOlRhc2sgMQ==?=\r\n") != std::string::npos);
    QVERIFY(queued.find("X-Sign-Stat: Back By boss\r\nX-Sign-Message: =?UTF-8?B?6K+36KGl5YWF6ZmE5Lu2?=\r\n\r\n") !=
            std::string::npos);
  }

  // Each decision is one line of the journal, whatever the reason holds.
  void decisionsAreJournaled() {
    QVERIFY(App().ApproveTask("QV000000003"));
    QVERIFY(App().ReturnTask("QV000000001", "缺\t附件\r\n请补"));
    const std::vector<tagDecision> journal = ReadDecisions("HOME_boss");
    QCOMPARE(journal.size(), std::size_t{2});
    const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    for (tagDecision decision : journal) {
      QVERIFY(time.match(QString::fromStdString(decision.Time)).hasMatch());
      decision.Time.clear();
      const bool approved = decision.TaskId == "QV000000003";
      QCOMPARE(decision,
               (tagDecision{"", approved ? "QV000000003" : "QV000000001", approved ? "w3" : "w1",
                            "\"Alice\" <alice@example.test>", "bob@example.test",
                            approved ? "Task 3" : "Task 1", approved ? "approve" : "return",
                            approved ? "" : "缺 附件  请补", "boss"}));
    }
    const std::string lines = testsupport::readFile("HOME_boss/Decisions.log");
    QCOMPARE(std::count(lines.begin(), lines.end(), '\n'), 2);
  }

  // A decision that cannot be journaled is not taken: the task stays, nothing is queued.
  void approvalThatCannotBeJournaledKeepsTheTask() {
    fs::create_directory("HOME_boss/Decisions.log");
    Select({0});
    Command(res::ID_TASK_APPROVE);
    QCOMPARE(Tasks()->RowCount(), 3);
    QCOMPARE(Queue()->RowCount(), 0);
    QVERIFY(fs::is_empty("HOME_boss/Queue"));
    QVERIFY(fs::exists(TaskHeadPath("HOME_boss", "QV000000003")));
    QTRY_COMPARE(m_signer->Title(), QStringLiteral("主管签审 - 保存签审后的任务到发送队列时出错 - 3 待审"));
  }

  void returnCancelledChangesNothing() {
    Select({0, 1});
    AnswerReason("", false);
    Command(res::ID_TASK_RETURN);
    QCOMPARE(Tasks()->RowCount(), 3);
    QCOMPARE(Queue()->RowCount(), 0);
  }

  // The reason dialog names what it returns, offers the last reasons given, and its Cancel button
  // changes nothing; the queue says which rows are returns.
  void reasonDialogNamesTheTaskAndOffersTheLastReasons() {
    QStringList about, offered;
    const auto answer = [&](const QString& reason, const char* button) {
      QTimer::singleShot(0, this, [&, reason, button] {
        auto* dialog = qobject_cast<CTextInput*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        about << dialog->findChild<QLabel*>(QStringLiteral("about"))->text();
        auto* reasons = dialog->findChild<QComboBox*>(QStringLiteral("reasons"));
        QStringList items;
        for (int i = 0; i < reasons->count(); ++i) items << reasons->itemText(i);
        offered << items.join('|');
        if (!reason.isEmpty()) dialog->findChild<QLineEdit*>(QStringLiteral("reason"))->setText(reason);
        if (const QString shots = qEnvironmentVariable("SIGNER_SCREENSHOT_DIR"); !shots.isEmpty())
          dialog->grab().save(QStringLiteral("%1/reason-%2.png").arg(shots).arg(about.size()));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
      });
    };
    Select({2});
    answer(QStringLiteral("请补充附件"), "ok");
    Command(res::ID_TASK_RETURN);
    Select({0, 1});
    answer(QStringLiteral("预算不对"), "cancel");
    Command(res::ID_TASK_RETURN);
    QCOMPARE(Tasks()->RowCount(), 2);
    Select({0});
    answer({}, "ok");  // no reason at all
    Command(res::ID_TASK_RETURN);
    QCOMPARE(about, QStringList({"退回：Task 1", "退回选中的 2 个任务", "退回：Task 3"}));
    QCOMPARE(offered, QStringList({"", "请补充附件", "请补充附件"}));
    QCOMPARE(QueuedDecision("HOME_boss/Queue", "QV000000003").Reason, "");
    QVERIFY(App().ApproveTask("QV000000002"));
    QCOMPARE(Queue()->RowCount(), 3);
    QCOMPARE(Queue()->CellText(0, CQueueModel::kDecision), "退回");
    QCOMPARE(Queue()->CellText(2, CQueueModel::kDecision), "签发");
  }

  // A decision over more tasks than Signer.ini allows at once asks first, naming the count.
  void decisionOverManyTasksAsksOnce() {
    platform::writePrivateProfileString("Tasks", "ConfirmOver", "2", kSignerIni);
    QStringList questions;
    const auto answer = [&](QMessageBox::StandardButton button) {
      QTimer::singleShot(0, this, [&, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        questions << box->text();
        box->button(button)->click();
      });
    };
    Select({0, 1, 2});
    answer(QMessageBox::No);
    Command(res::ID_TASK_APPROVE);
    QCOMPARE(Tasks()->RowCount(), 3);
    Select({0, 1});
    Command(res::ID_TASK_APPROVE);  // two: no question
    QCOMPARE(Tasks()->RowCount(), 1);
    QCOMPARE(questions, QStringList({"确实要签发选中的 3 个任务吗？"}));
  }

  // The journal list exports what it shows, in its order, as CSV.
  void decisionsExportAsShown() {
    QVERIFY(App().ApproveTask("QV000000003"));
    QVERIFY(App().ReturnTask("QV000000001", "=1+1"));
    Command(res::ID_VIEW_DECISIONS);
    QVERIFY(App().MainFrame()->Command(res::ID_FILE_EXPORT)->isEnabled());
    QVERIFY(App().ExportDecisions("all.csv"));
    const std::string all = testsupport::readFile("all.csv");
    QVERIFY(all.starts_with("\xEF\xBB\xBF时间,决定,发送人,接收人,主题,原因,"));
    QVERIFY(all.find("退回,\"\"\"Alice\"\" <alice@example.test>\",bob@example.test,Task 1,'=1+1,boss,"
                     "QV000000001\r\n") != std::string::npos);
    App().MainFrame()->FindBox()->setText(QStringLiteral("task 3"));
    QCOMPARE(App().m_pDecisionView->RowCount(), 1);
    QVERIFY(App().ExportDecisions("found.csv"));
    const std::string found = testsupport::readFile("found.csv");
    QVERIFY(found.find("Task 3") != std::string::npos);
    QVERIFY(found.find("Task 1") == std::string::npos);
    App().MainFrame()->FindBox()->clear();
    Command(res::ID_VIEW_SWITCH);
    QVERIFY(!App().MainFrame()->Command(res::ID_FILE_EXPORT)->isEnabled());
  }

  void taskCommandsActOnTheTaskListOnly() {
    Command(res::ID_VIEW_SWITCH);
    for (const int id : {res::ID_TASK_READ, res::ID_TASK_APPROVE, res::ID_TASK_RETURN})
      QVERIFY(!App().MainFrame()->Command(id)->isEnabled());
    QVERIFY(App().MainFrame()->Command(res::ID_REFRESH)->isEnabled());
    Command(res::ID_VIEW_SWITCH);
    QVERIFY(App().MainFrame()->Command(res::ID_TASK_APPROVE)->isEnabled());
  }

 private:
  CSignerApp& App() { return m_signer->App(); }
  CSignerView* Tasks() { return App().m_pTaskView; }
  CQueueView* Queue() { return App().m_pQueueView; }
  void Command(int id) { App().MainFrame()->Command(id)->trigger(); }

  void StoreTask(int n) {
    const std::string home = HomeDirectory("boss");
    const std::string id = FormatTaskId(std::to_string(n));
    const std::string subject = "Task " + std::to_string(n);
    testsupport::writeFile(TaskMessagePath(home, id),
                           "From: \"Alice\" <alice@example.test>\r\nTo: bob@example.test\r\n"
                           "Subject: " +
                               subject + "\r\n\r\nBody\r\n");
    WriteTaskHead(TaskHeadPath(home, id), {"\"Alice\" <alice@example.test>", "bob@example.test", "",
                                           "", subject, id, "w" + std::to_string(n)});
    App().ListTask(TaskHeadPath(home, id));
    QTRY_VERIFY(Tasks()->FindRow(id) >= 0);
  }

  QStringList SelectedTaskIds() {
    QStringList ids;
    for (const int row : Tasks()->SelectedRows())
      ids << QString::fromStdString(Tasks()->TaskId(row));
    return ids;
  }

  void Select(const std::vector<int>& rows) {
    Tasks()->clearSelection();
    for (const int row : rows)
      Tasks()->selectionModel()->select(Tasks()->RowIndex(row),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Tasks()->selectionModel()->setCurrentIndex(Tasks()->RowIndex(rows.front()),
                                               QItemSelectionModel::NoUpdate);
  }

  // Answers the reason dialog once it opens.
  void AnswerReason(const QString& reason, bool ok) {
    QTimer::singleShot(0, this, [reason, ok] {
      auto* dialog = qobject_cast<CTextInput*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      QCOMPARE(dialog->windowTitle(), QStringLiteral("退回原因"));
      dialog->findChild<QLineEdit*>(QStringLiteral("reason"))->setText(reason);
      if (ok)
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ok")), Qt::LeftButton);
      else
        dialog->reject();
    });
  }

  bool ReaderRunning() {
    unsigned long code = 0;
    return Tasks()->Reader().ExitCode(code) && code == platform::kStillActive;
  }

  QString ReaderLogPath() const { return m_xdg.filePath(QStringLiteral("reader.log")); }
  QStringList ReaderLog() const {
    QFile log(ReaderLogPath());
    if (!log.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
  }
  static QString PidOf(const QString& line) { return line.section(u' ', 1, 1); }
  // The reader gets a copy of the task's message, never the task file itself.
  static bool IsOpenOf(const QString& line, const char* taskId) {
    return line.startsWith(QStringLiteral("open ")) &&
           line.endsWith(QStringLiteral("/%1.eml").arg(QLatin1String(taskId))) &&
           !line.contains(QStringLiteral("/HOME_boss/"));
  }
  static void WriteText(const QString& path, const QString& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
  }

  QTemporaryDir m_xdg;
  std::unique_ptr<SignerFixture> m_signer;
};

QTEST_MAIN(TaskCommandsTest)
#include "task_commands_test.moc"
