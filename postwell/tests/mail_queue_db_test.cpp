// The database queue on SQLite, the embedded default, and the identifiers it makes.
#include <gtest/gtest.h>

#include "engine/mission_id.h"
#include "queue_db_cases.h"

namespace queuetest {
namespace {

QueueDatabase sqlite() {
  return {"SQLite",
          [](const std::string& dir, std::string& connection, std::string& user,
             std::string& password, std::string&) {
            connection = "Driver=SQLite3;Database=" + dir + "/queue.db";
            return true;
          },
          [](const std::string& dir) {
            return "Driver=SQLite3;Database=" + dir + "/no/such/folder/queue.db";
          }};
}

INSTANTIATE_TEST_SUITE_P(SQLite, QueueDbTest, ::testing::Values(sqlite()),
                         [](const auto& info) { return info.param.name; });

TEST(QueueDbDefaultDatabase, IsAFileBesideTheSettingFile) {
  testsupport::TempDir dir;
  const std::string file = settingsFile(dir.path(), "", "", "");
  Reports reports;
  CMailQueueDBVistor queue;
  ASSERT_EQ(queue.Initialize(&reports, file.c_str()), 1) << reports.all();
  TimedMission mission("a@example.test", "b@example.test");
  mission.SetMissionID("beside");
  EXPECT_EQ(queue.InsertMissionToQueueTable(&mission), 1);
  EXPECT_FALSE(testsupport::readFile(dir.file("mailqueue.db")).empty());
}

TEST(MissionIdentifier, EveryCandidateFitsWhateverTheHostName) {
  struct Case {
    std::string host;
    long seconds;
    std::uint32_t tick;
    std::string expected;
  };
  const std::string longHost(100, 'h');
  const Case cases[] = {
      {"mail.example.test", 1700000000, 123456, "mail.example.test.1700000000.456"},
      {"host", 1700000000, 7, "host.1700000000.7"},
      {longHost, 1700000000, 4294967295u, std::string(63 - 11 - 15, 'h') + ".1700000000.295"},
      {longHost, 99999999999, 999, std::string(63 - 11 - 16, 'h') + ".99999999999.999"},
  };
  for (const Case& c : cases) {
    const std::string id = composeMissionID(c.host, c.seconds, c.tick);
    EXPECT_EQ(id, c.expected);
    EXPECT_LE((id + ".2147483647").size(), kMissionIdLimit) << id;
  }
}

}  // namespace
}  // namespace queuetest
