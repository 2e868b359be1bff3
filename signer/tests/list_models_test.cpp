// The list models over the rows: every change the rows make reaches the views in the order Qt's
// model rules ask for (checked by QAbstractItemModelTester), and the roles show what the rows hold.
#include <QAbstractItemModelTester>
#include <QtTest>

#include "store/task_lists.h"
#include "views/queue_model.h"
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

 private:
  static tagTaskRow Row(const char* id, const char* subject) {
    return {"alice@example.test", "bob@example.test", subject, id, "2026-03-14 09:26:53"};
  }
  static QString Text(const QAbstractItemModel& model, int row, int column) {
    return model.index(row, column).data().toString();
  }
};

QTEST_MAIN(ListModelsTest)
#include "list_models_test.moc"
