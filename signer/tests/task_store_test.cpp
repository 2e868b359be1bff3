// The task store: ids, the counter, WaterIds, header summaries and the order of stored tasks.
#include "store/task_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "current_dir.h"

namespace {

TEST(TaskStore, IdsArePaddedToNineDigitsAndLongerCountersKeptWhole) {
  EXPECT_EQ(FormatTaskId("1"), "QV000000001");
  EXPECT_EQ(FormatTaskId("123456789"), "QV123456789");
  EXPECT_EQ(FormatTaskId("1234567890"), "QV1234567890");
}

TEST(TaskStore, CounterStartsAtOneAndRestartsWhenItsFileIsLost) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  EXPECT_EQ(home, "./HOME_boss");
  EXPECT_TRUE(std::filesystem::is_directory("HOME_boss"));
  EXPECT_EQ(DrawTaskId(home), "QV000000001");
  EXPECT_EQ(DrawTaskId(home), "QV000000002");
  EXPECT_EQ(testsupport::readFile(dir.file("HOME_boss/HiWater.mrk")), "[Indicator]\r\nId=2\r\n");

  std::filesystem::remove(dir.file("HOME_boss/HiWater.mrk"));
  EXPECT_EQ(DrawTaskId(home), "QV000000001");
}

// Ids whose files exist, at home or in the queue, are passed over: nothing is overwritten.
TEST(TaskStore, LostCounterNeverReusesTheIdOfAStoredTask) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  testsupport::writeFile(TaskMessagePath(home, "QV000000001"), "first");
  testsupport::writeFile(TaskHeadPath(home, "QV000000002"), "[Head]\r\n");
  testsupport::writeFile(TaskMessagePath(QueueDirectory("boss"), "QV000000003"), "queued");
  EXPECT_EQ(DrawTaskId(home), "QV000000004");
  EXPECT_EQ(testsupport::readFile(TaskMessagePath(home, "QV000000001")), "first");
}

TEST(TaskStore, CounterThatCannotBeWrittenGivesNoId) {
  CurrentTempDir dir;
  std::filesystem::create_directories("HOME_boss/HiWater.mrk");  // a folder where the file goes
  EXPECT_EQ(DrawTaskId(HomeDirectory("boss")), "");
}

TEST(TaskStore, WaterIdIsTheMailServersQueueFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"from pc1 by mail.example.com with ESMTP id md50000000042.msg for <a@x>",
       "with ESMTP id md50000000042"},
      {"from pc1 with ESMTP id a.msg; with ESMTP id b.msg", "with ESMTP id a"},
      {"by mail.example.com with ESMTP id md5000.MSG", ""},
      {"from pc1 (x.msg) by mail.example.com with SMTP id md5000.msg", ""},
      {"x.msg with ESMTP id md5000", ""},
      {"", ""}};
  for (const auto& [received, waterId] : cases) EXPECT_EQ(WaterIdFromReceived(received), waterId);
}

TEST(TaskStore, HeadIsWrittenInOrderAndReadBackCut) {
  CurrentTempDir dir;
  const tagTaskHead head{"\"王 伟\" <wang@example.test>",
                         "a@example.test, b@example.test",
                         "",
                         "",
                         "主题 Subject",
                         "QV000000007",
                         "with ESMTP id md5"};
  ASSERT_TRUE(WriteTaskHead("t.inf", head));
  EXPECT_EQ(testsupport::readFile(dir.file("t.inf")),
            "[Head]\r\nFrom=\"王 伟\" <wang@example.test>\r\nTo=a@example.test, b@example.test\r\n"
            "Cc=\r\nBcc=\r\nSubject=主题 Subject\r\nMsgId=QV000000007\r\n"
            "WaterId=with ESMTP id md5\r\n");
  const tagTaskHead whole = ReadTaskHead("t.inf", 1023);
  EXPECT_EQ(whole.From, head.From);
  EXPECT_EQ(whole.Subject, head.Subject);
  EXPECT_EQ(whole.WaterId, head.WaterId);
  // "主" and "题" are three bytes each: a cut inside a character drops that character.
  EXPECT_EQ(ReadTaskHead("t.inf", 5).Subject, "主");
  EXPECT_EQ(ReadTaskHead("t.inf", 6).Subject, "主题");
  EXPECT_EQ(ReadTaskHead("t.inf", 4).MsgId, "QV00");
  EXPECT_EQ(ReadTaskHead("missing.inf", 127).From, "");
}

TEST(TaskStore, StoredTasksInTheOrderTheirIdsWereDrawn) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  for (const char* id : {"QV1000000000", "QV000000010", "QV000000002", "QV000000009"})
    testsupport::writeFile(TaskMessagePath(home, id), "m");
  testsupport::writeFile(TaskHeadPath(home, "QV000000003"), "[Head]\r\n");  // no message
  std::filesystem::create_directories(home + "/folder.eml");
  EXPECT_EQ(StoredTaskIds(home), (std::vector<std::string>{"QV000000002", "QV000000009",
                                                           "QV000000010", "QV1000000000"}));
  EXPECT_TRUE(StoredTaskIds(QueueDirectory("boss")).empty());
}

}  // namespace
