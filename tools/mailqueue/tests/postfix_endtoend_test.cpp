// mailqueue end to end on its default database, an SQLite file beside the setting file.
#include "endtoend_cases.h"

namespace mailqueuetest {
namespace {

Database sqlite() {
  return {"SQLite", [](const std::string&, std::string& dbInfo, std::string&) {
            dbInfo = "CnnStr=\n";
            return true;
          }};
}

INSTANTIATE_TEST_SUITE_P(SQLite, MailQueueEndToEnd, ::testing::Values(sqlite()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace mailqueuetest
