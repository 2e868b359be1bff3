// The list models over the rows: every change the rows make reaches the views in the order Qt's
// model rules ask for (checked by QAbstractItemModelTester), and the roles show what the rows hold.
#include <QAbstractItemModelTester>
#include <QtTest>

#include "store/task_lists.h"
#include "views/queue_model.h"
#include "views/signer_view.h"
#include "views/task_model.h"

class ListModelsTest : public QObject {
  Q_OBJECT

 private slots:
  void taskModelFollowsEveryChange() {
    CTaskLists lists;
    CTaskModel model(lists.Tasks());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    lists.AddTasks({Row("QV000000001", "One"), Row("QV000000002", "Two")});
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(Text(model, 0, CTaskModel::kSubject), QStringLiteral("Two"));
    QCOMPARE(model.index(1, 0).data(CRowModel::kTaskIdRole).toString(), QStringLiteral("QV000000001"));
    lists.AddTasks({Row("QV000000003", "\xe5\x90\x88\xe4\xbd\x9c")});  // UTF-8
    QCOMPARE(Text(model, 0, CTaskModel::kSubject), QStringLiteral("合作"));
    QVERIFY(lists.RemoveTask("QV000000002"));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(Text(model, 1, CTaskModel::kSubject), QStringLiteral("One"));
    lists.Reset("chief", true);
    QCOMPARE(model.rowCount(), 0);
  }

  void queueModelShowsStatusAndReplyInTheUsersLanguage() {
    CTaskLists lists;
    CQueueModel model(lists.Queue());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    lists.AddQueued({{"alice@example.test", "Hi", "bob@example.test", "QV000000001", "t"},
                     {"alice@example.test", "Ho", "bob@example.test", "QV000000002", "t"}});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    lists.SetSendStatus(lists.Generation(), "QV000000002", SendStatus::kRetry, "452 4.3.1 full");
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed[0][0].toModelIndex().row(), 1);
    QCOMPARE(Text(model, 1, CQueueModel::kStatus), QStringLiteral("重发"));
    QCOMPARE(model.index(1, CQueueModel::kSubject).data(Qt::ToolTipRole).toString(),
             QStringLiteral("452 4.3.1 full"));
    QCOMPARE(model.index(0, 0).data(Qt::ToolTipRole), QVariant());
    QCOMPARE(model.index(1, 0).data(CQueueModel::kStatusRole).toInt(),
             static_cast<int>(SendStatus::kRetry));
  }

  // How long each task waited, moving on with the clock; a task past the limit stands out.
  void waitingTimesAndOldTasks() {
    constexpr std::int64_t kNow = 1'800'000'000;
    CTaskLists lists;
    CTaskModel model(lists.Tasks(), 24);
    tagTaskRow fresh = Row("QV000000001", "fresh"), hours = Row("QV000000002", "hours"),
               days = Row("QV000000003", "days");
    fresh.ArrivedAt = kNow - 30;
    hours.ArrivedAt = kNow - 2 * 3600 - 59;
    days.ArrivedAt = kNow - 3 * 86400;
    lists.AddTasks({days, hours, fresh});
    model.SetNow(kNow);
    QCOMPARE(Texts(model, CTaskModel::kWaited), QStringList({"刚到", "2 小时", "3 天"}));
    QCOMPARE(model.index(2, CTaskModel::kSubject).data(Qt::ForegroundRole).isValid(), true);
    QCOMPARE(model.index(1, CTaskModel::kSubject).data(Qt::ForegroundRole).isValid(), false);
    QVERIFY(model.index(2, CTaskModel::kFrom).data(Qt::FontRole).value<QFont>().bold());
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.SetNow(kNow + 25 * 3600);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(Texts(model, CTaskModel::kWaited), QStringList({"25 小时", "27 小时", "4 天"}));
    QVERIFY(model.index(1, CTaskModel::kTo).data(Qt::ForegroundRole).isValid());
    // No limit: nothing stands out.
    CTaskModel unlimited(lists.Tasks(), 0);
    unlimited.SetNow(kNow + 30 * 86400);
    QVERIFY(!unlimited.index(2, 0).data(Qt::ForegroundRole).isValid());
  }

  // Sorted by a heading or found by a word, the list's rows still name their own tasks, and a
  // decision asked for acts on the tasks shown selected.
  void sortedAndFilteredRowsKeepTheirTasks() {
    CTaskLists lists;
    CSignerView view(lists);
    view.OnInitialUpdate();
    tagTaskRow carol = Row("QV000000003", "Budget");
    carol.From = "carol@example.test";
    lists.AddTasks({Row("QV000000001", "Zebra"), Row("QV000000002", "apple"), carol});
    QCOMPARE(view.TaskId(0), "QV000000003");  // arrival order: newest on top

    view.sortByColumn(CTaskModel::kSubject, Qt::AscendingOrder);
    QCOMPARE(Ids(view), QStringList({"QV000000002", "QV000000003", "QV000000001"}));
    view.SetFindText(QStringLiteral("  CAROL "));
    QCOMPARE(Ids(view), QStringList({"QV000000003"}));
    view.SetFindText(QStringLiteral("bob@EXAMPLE"));  // the recipients are searched too
    QCOMPARE(view.RowCount(), 3);
    view.SetFindText(QStringLiteral("zeb"));
    QCOMPARE(Ids(view), QStringList({"QV000000001"}));

    std::vector<std::string> asked;
    connect(&view, &CSignerView::ApproveWanted, this,
            [&](const std::vector<std::string>& ids) { asked = ids; });
    view.selectionModel()->select(view.RowIndex(0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.OnApprove();
    QCOMPARE(asked, std::vector<std::string>({"QV000000001"}));
    // A task arriving while a filter is on is there once the filter is cleared.
    lists.AddTasks({Row("QV000000004", "Late")});
    QCOMPARE(view.RowCount(), 1);
    view.SetFindText({});
    QCOMPARE(view.RowCount(), 4);
  }

 private:
  static QStringList Ids(const CSignerView& view) {
    QStringList ids;
    for (int row = 0; row < view.RowCount(); ++row) ids << QString::fromStdString(view.TaskId(row));
    return ids;
  }
  static QStringList Texts(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts << Text(model, row, column);
    return texts;
  }
  static tagTaskRow Row(const char* id, const char* subject) {
    return {"alice@example.test", "bob@example.test", subject, id, "2026-03-14 09:26:53"};
  }
  static QString Text(const QAbstractItemModel& model, int row, int column) {
    return model.index(row, column).data().toString();
  }
};

QTEST_MAIN(ListModelsTest)
#include "list_models_test.moc"
