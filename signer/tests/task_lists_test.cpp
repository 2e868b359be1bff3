// The rows of the lists: ordered by arrival, known by task id, and read whole by the sending.
#include "store/task_lists.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "store/task_store.h"

namespace {

tagTaskRow Task(const std::string& id) { return {"alice@example.test", "bob@example.test", "Hi", id, ""}; }
tagQueueRow Queued(const std::string& id) {
  return {"alice@example.test", "Hi", "bob@example.test", id, ""};
}

std::vector<std::string> TaskIds(const CRowList<tagTaskRow>& rows) {
  std::vector<std::string> ids;
  for (int row = 0; row < rows.Count(); ++row) ids.push_back(rows.At(row).TaskId);
  return ids;
}

TEST(TaskLists, TheLastArrivedIsOnTopAndTasksLeaveByTheirId) {
  CTaskLists lists;
  lists.AddTasks({Task("QV000000001"), Task("QV000000002")});
  lists.AddTasks({Task("QV000000003")});
  EXPECT_EQ(TaskIds(lists.Tasks()),
            std::vector<std::string>({"QV000000003", "QV000000002", "QV000000001"}));
  EXPECT_TRUE(lists.RemoveTask("QV000000002"));
  EXPECT_FALSE(lists.RemoveTask("QV000000002"));
  EXPECT_EQ(TaskIds(lists.Tasks()), std::vector<std::string>({"QV000000003", "QV000000001"}));
}

TEST(TaskLists, AnotherStoreEmptiesBothListsAndDropsTheOldStoresReports) {
  CTaskLists lists;
  lists.Reset("boss", false);
  lists.AddTasks({Task("QV000000001")});
  lists.AddQueued({Queued("QV000000002")});
  const std::uint64_t before = lists.Generation();

  lists.Reset("boss@example.test", false);  // the same store under another name
  EXPECT_EQ(lists.Generation(), before);
  EXPECT_EQ(lists.Tasks().Count(), 1);
  EXPECT_EQ(lists.User(), "boss@example.test");

  lists.Reset("chief", true);
  EXPECT_EQ(lists.Generation(), before + 1);
  EXPECT_EQ(lists.Tasks().Count(), 0);
  EXPECT_EQ(lists.Queue().Count(), 0);
  // The new store has a task of the same id; a report on the old store's task leaves it alone.
  lists.AddQueued({Queued("QV000000002")});
  lists.SetSendStatus(before, "QV000000002", SendStatus::kSent, "");
  EXPECT_EQ(lists.Queue().At(0).Status, SendStatus::kWaiting);
  lists.SetSendStatus(before + 1, "QV000000002", SendStatus::kRetry, "451 try later");
  EXPECT_EQ(lists.Queue().At(0).Status, SendStatus::kRetry);
  EXPECT_EQ(lists.Queue().At(0).Reply, "451 try later");
}

TEST(TaskLists, PendingSendsAreTheUnsentInQueueOrder) {
  CTaskLists lists;
  lists.Reset("boss", false);
  lists.AddQueued({Queued("QV000000005"), Queued("QV000000003"), Queued("QV000000004")});
  lists.SetSendStatus(lists.Generation(), "QV000000003", SendStatus::kSent, "");
  lists.SetSendStatus(lists.Generation(), "QV000000004", SendStatus::kRetry, "452");
  lists.SetSendStatus(lists.Generation(), "QV000000009", SendStatus::kSent, "");  // no such row
  const tagPendingSends pending = lists.PendingSends();
  EXPECT_EQ(pending.User, "boss");
  EXPECT_EQ(pending.Generation, lists.Generation());
  EXPECT_EQ(pending.TaskIds, std::vector<std::string>({"QV000000005", "QV000000004"}));
}

// The sending reads from its own thread while the lists change to another store and back: what it
// reads is always one store's queue under that store's user, never a mixture.
TEST(TaskLists, PendingSendsReadFromAnotherThreadAreOneStoresQueue) {
  CTaskLists lists;
  std::atomic<bool> done{false};
  std::atomic<int> mixed{0};
  std::thread sender([&] {
    while (!done) {
      const tagPendingSends pending = lists.PendingSends();
      for (const std::string& id : pending.TaskIds)
        if ((pending.User == "boss") != (id.back() == 'b')) ++mixed;
    }
  });
  for (int round = 0; round < 2000; ++round) {
    const bool boss = round % 2 == 0;
    lists.Reset(boss ? "boss" : "chief", true);
    lists.AddQueued({Queued(boss ? "QV00000000b" : "QV00000000c"),
                     Queued(boss ? "QV00000001b" : "QV00000001c")});
  }
  done = true;
  sender.join();
  EXPECT_EQ(mixed, 0);
}

}  // namespace

namespace {

struct ListTextCase {
  const char* name;
  std::string value;
  std::string shown;
};

class ListTexts : public ::testing::TestWithParam<ListTextCase> {};

// A subject folded into several encoded words shows whole, whether the reader of the mailbox left
// it as it came or decoded only its first word.
TEST_P(ListTexts, HeaderValuesShowDecoded) {
  tagTaskHead head;
  head.Subject = GetParam().value;
  EXPECT_EQ(TaskRowOf(head, "QV000000001", 0).Subject, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListTexts,
    ::testing::Values(
        ListTextCase{"Plain", "Quarterly figures", "Quarterly figures"},
        ListTextCase{"FoldedWords",
                     "=?utf-8?b?5YWz5LqO5LiL5a2j5bqm5ZCI5L2c55qE?= =?utf-8?b?5Yeg54K55bu66K6u?=",
                     "关于下季度合作的几点建议"},
        ListTextCase{"FirstWordDecodedAlready", "关于下季度合作的 =?utf-8?b?5Yeg54K55bu66K6u?=",
                     "关于下季度合作的 几点建议"},
        ListTextCase{"Gb18030Bytes", "\xba\xcf\xd7\xf7", "合作"}),
    [](const ::testing::TestParamInfo<ListTextCase>& info) { return info.param.name; });

}  // namespace
