// The task store: ids, the counter, WaterIds, header summaries and the order of stored tasks.
#include "store/task_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "current_dir.h"

namespace {

using namespace std::string_literals;

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

TEST(TaskStore, OnlyQvAndNineOrMoreDigitsAreTaskIds) {
  for (const char* id : {"QV000000001", "QV123456789", "QV2147483648", "QV00000000000000000000001"})
    EXPECT_TRUE(IsTaskId(id)) << id;
  for (const char* id : {"", "QV", "QV00000001", "qv000000001", "XV000000001", "QV00000000a",
                         "QV000000001 ", "../victim", "QV000000001/../x", "QV-00000001"})
    EXPECT_FALSE(IsTaskId(id)) << id;
  EXPECT_EQ(TaskIdOfHeadPath("./HOME_boss/QV000000012.inf"), "QV000000012");
  EXPECT_EQ(TaskIdOfHeadPath("HOME_boss\\QV000000012.inf"), "QV000000012");
  EXPECT_EQ(TaskIdOfHeadPath("./HOME_boss/QV000000012.eml"), "");
  EXPECT_EQ(TaskIdOfHeadPath("./HOME_boss/victim.inf"), "");
  EXPECT_EQ(TaskIdOfHeadPath("./HOME_boss/.inf"), "");
}

// The counter is read beyond the profile reader's int: it keeps counting, and the ids keep their
// order.
TEST(TaskStore, CounterKeepsCountingBeyondThirtyTwoBits) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  const std::string counter = dir.file("HOME_boss/HiWater.mrk");
  const std::pair<const char*, const char*> cases[] = {
      {"2147483646", "QV2147483647"},
      {"2147483647", "QV2147483648"},
      {"4294967295", "QV4294967296"},
      {"999999999", "QV1000000000"},
      {"18446744073709551614", "QV18446744073709551615"},
      {" +41", "QV000000042"},
      {"-5", "QV000000001"},
      {"none", "QV000000001"}};
  for (const auto& [stored, id] : cases) {
    testsupport::writeFile(counter, std::string("[Indicator]\r\nId=") + stored + "\r\n");
    EXPECT_EQ(DrawTaskId(home), id) << stored;
  }
  testsupport::writeFile(counter, "[Indicator]\r\nId=2147483647\r\n");
  EXPECT_EQ(DrawTaskId(home), "QV2147483648");
  EXPECT_EQ(DrawTaskId(home), "QV2147483649");
  EXPECT_EQ(testsupport::readFile(counter), "[Indicator]\r\nId=2147483649\r\n");

  // A counter that cannot advance within 64 bits gives no id rather than one used before.
  for (const char* stored : {"18446744073709551615", "99999999999999999999"}) {
    testsupport::writeFile(counter, std::string("[Indicator]\r\nId=") + stored + "\r\n");
    EXPECT_EQ(DrawTaskId(home), "") << stored;
  }
}

TEST(TaskStore, LostCounterPassesOverSetAsideIds) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  std::filesystem::create_directories(dir.file("HOME_boss/Incomplete"));
  testsupport::writeFile(TaskMessagePath(IncompleteDirectory(home), "QV000000001"), "short");
  EXPECT_EQ(DrawTaskId(home), "QV000000002");
}

TEST(TaskStore, StoredTasksInTheOrderTheirIdsWereDrawn) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  for (const char* id : {"QV1000000000", "QV2147483648", "QV000000010", "QV000000002",
                         "QV0000000005", "QV000000009", "QV10000000000"}) {
    testsupport::writeFile(TaskMessagePath(home, id), "m");
    testsupport::writeFile(TaskHeadPath(home, id), "[Head]\r\n");
  }
  testsupport::writeFile(TaskHeadPath(home, "QV000000003"), "[Head]\r\n");  // no message
  testsupport::writeFile(TaskMessagePath(home, "QV000000004"), "m");        // no summary
  testsupport::writeFile(TaskMessagePath(home, "victim"), "m");
  testsupport::writeFile(TaskHeadPath(home, "victim"), "[Head]\r\n");
  std::filesystem::create_directories(home + "/QV000000011.eml");
  testsupport::writeFile(TaskHeadPath(home, "QV000000011"), "[Head]\r\n");
  EXPECT_EQ(StoredTaskIds(home),
            (std::vector<std::string>{"QV000000002", "QV0000000005", "QV000000009", "QV000000010",
                                      "QV1000000000", "QV2147483648", "QV10000000000"}));
  EXPECT_TRUE(StoredTaskIds(QueueDirectory("boss")).empty());
}

// What a crash or a stranger leaves among the task files goes to "Incomplete"; complete tasks and
// other files stay.
TEST(TaskStore, FilesThatFormNoTaskAreSetAside) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  const auto put = [&](const std::string& name) {
    testsupport::writeFile(home + "/" + name, name);
  };
  for (const char* name :
       {"QV000000001.eml", "QV000000001.inf", "QV000000002.eml", "QV000000003.inf",
        "QV000000004.eml.~4242.0", "QV000000001.inf.~4242.1", "notatask.eml", "notatask.inf",
        "QV000000005.EML", "QV000000005.inf", "HiWater.mrk", "HiWater.mrk.~4242.2", "readme.txt"})
    put(name);
  std::filesystem::create_directories(home + "/Queue");

  std::vector<std::string> moved = SetAsideIncompleteTasks(home);
  std::sort(moved.begin(), moved.end());
  EXPECT_EQ(moved, (std::vector<std::string>{"QV000000001.inf.~4242.1", "QV000000002.eml",
                                             "QV000000003.inf", "QV000000004.eml.~4242.0",
                                             "QV000000005.EML", "QV000000005.inf", "notatask.eml",
                                             "notatask.inf"}));
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(home))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"HiWater.mrk", "HiWater.mrk.~4242.2", "Incomplete",
                                            "QV000000001.eml", "QV000000001.inf", "Queue",
                                            "readme.txt"}));
  EXPECT_EQ(testsupport::readFile(home + "/Incomplete/QV000000002.eml"), "QV000000002.eml");

  // A second leftover of the same name keeps the first.
  put("QV000000002.eml");
  EXPECT_EQ(SetAsideIncompleteTasks(home), std::vector<std::string>{"QV000000002.eml"});
  EXPECT_EQ(testsupport::readFile(home + "/Incomplete/QV000000002.eml.1"), "QV000000002.eml");
  EXPECT_TRUE(SetAsideIncompleteTasks(home).empty());
}

TEST(TaskStore, MessageIsWrittenWholeUnderItsName) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  const std::string path = TaskMessagePath(home, "QV000000001");
  ASSERT_TRUE(WriteTaskMessage(path, "From: a@x\r\n\r\nfirst\r\n"));
  ASSERT_TRUE(WriteTaskMessage(path, "From: a@x\r\n\r\nsecond\r\n"));
  EXPECT_EQ(testsupport::readFile(path), "From: a@x\r\n\r\nsecond\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home),
                          std::filesystem::directory_iterator()),
            1);  // no temporary file is left
  EXPECT_FALSE(WriteTaskMessage(TaskMessagePath("./HOME_nobody", "QV000000001"), "x"));
}

// A decoded header value may hold line breaks: they never become keys of their own.
TEST(TaskStore, HeadValuesStayOnTheirLines) {
  CurrentTempDir dir;
  tagTaskHead head{"x\r\nBcc=spy@evil.test",
                   "to@example.test",
                   "",
                   "",
                   "\r\nMsgId=../../victim\n[Head]\rWaterId=forged",
                   "QV000000001",
                   "with ESMTP id md5"};
  head.Cc = "a\0b"s;
  ASSERT_TRUE(WriteTaskHead("t.inf", head));
  EXPECT_EQ(testsupport::readFile(dir.file("t.inf")),
            "[Head]\r\nFrom=x  Bcc=spy@evil.test\r\nTo=to@example.test\r\nCc=a b\r\nBcc=\r\n"
            "Subject=  MsgId=../../victim [Head] WaterId=forged\r\nMsgId=QV000000001\r\n"
            "WaterId=with ESMTP id md5\r\n");
  const tagTaskHead read = ReadTaskHead("t.inf", 1023);
  EXPECT_EQ(read.Bcc, "");
  EXPECT_EQ(read.MsgId, "QV000000001");
  EXPECT_EQ(read.WaterId, "with ESMTP id md5");
}

// A login name that is a full address shares the store of its local part; no login name builds a
// path outside the current directory.
TEST(TaskStore, HomeOfAnyUserNameIsAPlainFolderHere) {
  CurrentTempDir outer;
  std::filesystem::create_directories(outer.file("cwd/HOME_boss"));
  std::filesystem::current_path(outer.file("cwd"));
  const std::pair<const char*, const char*> cases[] = {
      {"boss", "./HOME_boss"},
      {"boss@demo.test", "./HOME_boss"},
      {"Boss.Li@demo.test", "./HOME_Boss.Li"},
      {"boss/../../escaped", "./HOME_boss_.._.._escaped"},
      {"..", "./HOME_.."},
      {"..\\..\\escaped", "./HOME_.._.._escaped"},
      {"boss\r\nx", "./HOME_boss__x"},
      {"c:evil", "./HOME_c_evil"},
      {"王伟@demo.test", "./HOME_王伟"}};
  for (const auto& [user, home] : cases) {
    EXPECT_EQ(HomeDirectory(user), home) << user;
    EXPECT_TRUE(std::filesystem::is_directory(home)) << user;
    EXPECT_EQ(QueueDirectory(user), std::string(home) + "/Queue") << user;
  }
  EXPECT_EQ(StoreName("a\0b"s), "a_b");
  EXPECT_FALSE(std::filesystem::exists(outer.file("escaped")));
}

}  // namespace
