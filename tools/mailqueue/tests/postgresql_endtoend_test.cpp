// mailqueue end to end on a PostgreSQL queue (the private cluster of scripts/peers/postgresql.sh).
#include <filesystem>
#include <fstream>

#include "endtoend_cases.h"
#include "engine/odbc_database.h"
#include "test_peer.h"

// The PostgreSQL driver keeps a few bytes of a connection attempt that failed; the sanitizer would
// report them at exit. Nothing of ours is hidden by this. The sanitizer looks both up by name.
#define SANITIZER_HOOK extern "C" __attribute__((visibility("default"), used))
SANITIZER_HOOK const char* __lsan_default_suppressions() { return "leak:psqlodbcw.so\n"; }
SANITIZER_HOOK const char* __lsan_default_options() { return "print_suppressions=0"; }

namespace mailqueuetest {
namespace {

const char kUser[] = "mailtest";
const char kPassword[] = "mailtest-pw";

std::string connection() {
  const char* port = std::getenv("MAILSIGNOFF_POSTGRESQL_PORT");
  return std::string("Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=") + (port ? port : "5433") +
         ";Database=maildb";
}

bool emptyQueue(std::string& why) {
  testsupport::RunningPeer cluster;
  if (!testsupport::findPeer("PostgreSQL", cluster, why)) return false;
  CADODatabase database;
  if (!database.Open(connection(), kUser, kPassword) ||
      !database.Execute("DROP TABLE IF EXISTS MailQueue")) {
    why = database.GetLastErrorString();
    return false;
  }
  return true;
}

Database postgresql() {
  return {"PostgreSQL", [](const std::string&, std::string& dbInfo, std::string& why) {
            if (!emptyQueue(why)) return false;
            dbInfo =
                "CnnStr=" + connection() + "\nUserName=" + kUser + "\nPassword=" + kPassword + "\n";
            return true;
          }};
}

INSTANTIATE_TEST_SUITE_P(PostgreSQL, MailQueueEndToEnd, ::testing::Values(postgresql()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace mailqueuetest
