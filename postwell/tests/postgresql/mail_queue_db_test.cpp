// The database queue on PostgreSQL (the private cluster of scripts/peers/postgresql.sh), and
// several processes taking missions from one queue.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../queue_db_cases.h"
#include "test_peer.h"

extern char** environ;

// The PostgreSQL driver keeps a few bytes of a connection attempt that failed; the sanitizer would
// report them at exit. Nothing of ours is hidden by this. The sanitizer looks both up by name.
#define SANITIZER_HOOK extern "C" __attribute__((visibility("default"), used))
SANITIZER_HOOK const char* __lsan_default_suppressions() { return "leak:psqlodbcw.so\n"; }
SANITIZER_HOOK const char* __lsan_default_options() { return "print_suppressions=0"; }

namespace queuetest {
namespace {

const char kUser[] = "mailtest";
const char kPassword[] = "mailtest-pw";

std::string serverConnection() {
  const char* port = std::getenv("MAILSIGNOFF_POSTGRESQL_PORT");
  return std::string("Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=") + (port ? port : "5433") +
         ";Database=maildb";
}

// False with the reason when the cluster is not running.
bool findCluster(std::string& why) {
  testsupport::RunningPeer cluster;
  return testsupport::findPeer("PostgreSQL", cluster, why);
}

bool dropQueue(std::string& why) {
  CADODatabase database;
  if (!database.Open(serverConnection(), kUser, kPassword) ||
      !database.Execute("DROP TABLE IF EXISTS MailQueue")) {
    why = database.GetLastErrorString();
    return false;
  }
  return true;
}

QueueDatabase postgresql() {
  return {"PostgreSQL",
          [](const std::string&, std::string& connection, std::string& user, std::string& password,
             std::string& why) {
            if (!findCluster(why) || !dropQueue(why)) return false;
            connection = serverConnection();
            user = kUser;
            password = kPassword;
            return true;
          },
          // The test gives a wrong password.
          [](const std::string&) { return serverConnection(); }};
}

INSTANTIATE_TEST_SUITE_P(PostgreSQL, QueueDbTest, ::testing::Values(postgresql()),
                         [](const auto& info) { return info.param.name; });

// Run only as a child of the test below: takes missions until none is due and writes their
// identifiers, one a line, to the file named by MAILSIGNOFF_QUEUE_TAKER_OUT.
TEST(PostgresqlQueueTaker, DISABLED_TakesMissions) {
  const char* settings = std::getenv("MAILSIGNOFF_QUEUE_TAKER_SETTINGS");
  const char* out = std::getenv("MAILSIGNOFF_QUEUE_TAKER_OUT");
  ASSERT_TRUE(settings && out);
  Reports reports;
  CMailQueueDBVistor queue;
  ASSERT_EQ(queue.Initialize(&reports, settings), 1) << reports.all();
  std::ofstream ids(out);
  tagDeliveryMail mail;
  while (queue.ClaimDeliveryMission("", 0, mail) == 1) ids << mail.szMissionID << "\n";
}

TEST(PostgresqlQueueProcesses, EachMissionIsHandedOutOnce) {
  std::string why;
  if (!findCluster(why) || !dropQueue(why)) SKIP_OR_FAIL_WITHOUT_PEER(why);
  testsupport::TempDir dir;
  const std::string settings = settingsFile(dir.path(), serverConnection(), kUser, kPassword);
  Reports reports;
  CMailQueueDBVistor queue;
  ASSERT_EQ(queue.Initialize(&reports, settings.c_str()), 1) << reports.all();
  constexpr int kMissions = 2000;
  for (int i = 0; i < kMissions; ++i) {
    TimedMission mission("sender@example.test", "rcpt@example.test");
    mission.SetMissionID(("p" + std::to_string(i)).c_str());
    ASSERT_EQ(queue.InsertMissionToQueueTable(&mission), 1) << reports.all();
  }

  constexpr int kChildren = 2;
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
    environment.push_back("MAILSIGNOFF_QUEUE_TAKER_SETTINGS=" + settings);
    environment.push_back("MAILSIGNOFF_QUEUE_TAKER_OUT=" + dir.file("taken" + std::to_string(c)));
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=PostgresqlQueueTaker.DISABLED_TakesMissions";
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    children.push_back(pid);
  }
  std::vector<std::string> all;
  tagDeliveryMail mail;
  while (queue.ClaimDeliveryMission("", 0, mail) == 1) all.push_back(mail.szMissionID);
  const std::size_t byThisProcess = all.size();
  for (std::size_t c = 0; c < children.size(); ++c) {
    int status = 0;
    ASSERT_EQ(waitpid(children[c], &status, 0), children[c]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "taker " << c << " failed";
    std::ifstream ids(dir.file("taken" + std::to_string(c)));
    for (std::string id; std::getline(ids, id);) all.push_back(id);
  }
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kMissions));
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end())
      << "a mission was handed out twice";
  EXPECT_LT(byThisProcess, all.size()) << "the other processes took nothing, so nothing was shared";
  EXPECT_EQ(queue.HaveActivedMission(), 0);
}

}  // namespace
}  // namespace queuetest
