#include "engine/queue_schema.h"

#include <utility>
#include <vector>

#include "engine/odbc_database.h"
#include "engine/schemas.h"

namespace {

// The statements of a schema file: each ends with ";" at the end of a line; "--" lines are comments.
std::vector<std::string> statementsOf(const char* schema) {
  std::vector<std::string> out;
  std::string current;
  std::string all = schema;
  std::size_t at = 0;
  while (at < all.size()) {
    std::size_t end = all.find('\n', at);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(at, end - at);
    at = end + 1;
    if (line.rfind("--", 0) == 0) continue;
    current += line + "\n";
    if (!line.empty() && line.back() == ';') {
      current.erase(current.find_last_of(';'));
      out.push_back(current);
      current.clear();
    }
  }
  return out;
}

bool createTable(CADODatabase& database, std::string& failure) {
  const char* schema = database.Engine() == SqlEngine::SQLite ? kSqliteSchema : kPostgresqlSchema;
  for (const std::string& statement : statementsOf(schema)) {
    if (database.Execute(statement)) continue;
    // Another process may have created the table in the meantime.
    failure = database.GetLastErrorString();
    if (!database.Execute("select MissionID from MailQueue where 1 = 0")) return false;
  }
  return true;
}

// The columns that later versions added, and how they are made.
bool addMissingColumns(CADODatabase& database, std::string& failure) {
  static const std::pair<const char*, const char*> kAdded[] = {
      {"Tries", "INTEGER NOT NULL DEFAULT 0"},
      {"LastReply", "TEXT NOT NULL DEFAULT ''"},
      {"LeaseUntil", "INTEGER NOT NULL DEFAULT 0"}};
  for (const auto& [column, definition] : kAdded) {
    const std::string probe = std::string("select ") + column + " from MailQueue where 1 = 0";
    if (database.Execute(probe)) continue;
    // Another process may add it at the same moment.
    if (!database.Execute(std::string("ALTER TABLE MailQueue ADD COLUMN ") + column + " " +
                          definition) &&
        !database.Execute(probe)) {
      failure = database.GetLastErrorString();
      return false;
    }
  }
  return true;
}

}  // namespace

bool prepareQueueTable(CADODatabase& database, std::string& failure) {
  if (database.Engine() == SqlEngine::SQLite) {
    // A commit writes the log once and syncs it once; readers and the writer do not block each
    // other.
    CADORecordSet mode(&database);
    mode.Open("PRAGMA journal_mode=WAL");
    mode.Close();
    database.Execute("PRAGMA synchronous=FULL");
  }
  return createTable(database, failure) && addMissingColumns(database, failure);
}
