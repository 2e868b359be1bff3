#include "postwell/mail_queue_db.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

#include "engine/mission_id.h"
#include "engine/odbc_database.h"
#include "engine/schemas.h"
#include "platform/clock.h"
#include "platform/host_name.h"
#include "platform/profile.h"

namespace {

constexpr long kHandedOut = 2;
// The longest reply kept with a mission.
constexpr std::size_t kReplyLimit = 2000;
const char kDefaultDatabaseFile[] = "mailqueue.db";

const char kInitialize[] = "CMailQueueDBVistor::Initialize";
const char kInsert[] = "CMailQueueDBVistor::InsertMissionToQueueTable";
const char kGetDelivery[] = "CMailQueueDBVistor::GetDeliveryMission";
const char kHaveActived[] = "CMailQueueDBVistor::HaveActivedMission";

std::string text(const char* value) { return value ? value : ""; }

std::string readSetting(const char* key, unsigned long size, const char* file) {
  std::vector<char> value(size, '\0');
  platform::getPrivateProfileString("DBInfo", key, "", value.data(), size, file);
  return value.data();
}

// The attributes of an ODBC connection string, in order: name and value.
std::vector<std::pair<std::string, std::string>> attributes(const std::string& connection) {
  std::vector<std::pair<std::string, std::string>> out;
  std::size_t at = 0;
  while (at < connection.size()) {
    std::size_t equals = connection.find('=', at);
    if (equals == std::string::npos) break;
    std::string name = connection.substr(at, equals - at);
    while (!name.empty() && (name.front() == ' ' || name.front() == ';')) name.erase(0, 1);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    std::string value;
    std::size_t end = equals + 1;
    if (end < connection.size() && connection[end] == '{') {
      ++end;
      while (end < connection.size()) {
        if (connection[end] == '}') {
          if (end + 1 < connection.size() && connection[end + 1] == '}') {
            value += '}';
            end += 2;
            continue;
          }
          ++end;
          break;
        }
        value += connection[end++];
      }
      std::size_t semicolon = connection.find(';', end);
      end = semicolon == std::string::npos ? connection.size() : semicolon;
    } else {
      std::size_t semicolon = connection.find(';', end);
      std::size_t stop = semicolon == std::string::npos ? connection.size() : semicolon;
      value = connection.substr(end, stop - end);
      end = stop;
    }
    out.emplace_back(name, value);
    at = end + 1;
  }
  return out;
}

bool isSecretAttribute(const std::string& name) {
  return strcasecmp(name.c_str(), "PWD") == 0 || strcasecmp(name.c_str(), "Password") == 0;
}

// The text with the password and every password attribute of a connection string masked.
std::string masked(std::string text, const std::string& password, const std::string& connection) {
  std::vector<std::string> secrets;
  if (!password.empty()) secrets.push_back(password);
  for (const auto& [name, value] : attributes(connection))
    if (isSecretAttribute(name) && !value.empty()) secrets.push_back(value);
  for (const std::string& secret : secrets) {
    for (std::size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + 6))
      text.replace(at, secret.size(), "******");
  }
  return text;
}

bool containsNoCase(const std::string& text, const char* part) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find(part) != std::string::npos;
}

constexpr unsigned long kDefaultQueryTimeoutSeconds = 30;
// The SQLite driver counts its wait in milliseconds in an int.
constexpr unsigned long kLongestQueryTimeoutSeconds = 2000000;
// A PostgreSQL connection whose server host or network is gone fails after about a minute instead
// of waiting for ever: TCP keepalives while a reply is awaited, and a limit on unacknowledged data.
const char kPostgresqlLiveness[] =
    "pqopt={keepalives=1 keepalives_idle=30 keepalives_interval=10 keepalives_count=3 "
    "tcp_user_timeout=60000};";

// The setting's time limit of a statement in seconds: a count of seconds, 0 for none; the default
// when the setting is missing or not a count.
unsigned long queryTimeoutOf(const std::string& setting) {
  if (setting.empty() || setting.size() > 9 ||
      setting.find_first_not_of("0123456789") != std::string::npos)
    return kDefaultQueryTimeoutSeconds;
  return std::min(std::strtoul(setting.c_str(), nullptr, 10), kLongestQueryTimeoutSeconds);
}

// The connection string to use: the setting's, with the SQLite file beside the setting file when
// the setting names no database. Unless the setting names them itself, an SQLite connection waits
// for a lock at most the statement time limit, and a PostgreSQL connection notices a dead server.
std::string effectiveConnection(const std::string& connection, const std::string& settingFile,
                                unsigned long queryTimeout) {
  bool sqlite = connection.empty();
  bool postgresql = false;
  bool namesDatabase = false, namesTimeout = false, namesLibpqOptions = false;
  for (const auto& [name, value] : attributes(connection)) {
    if (strcasecmp(name.c_str(), "Driver") == 0) {
      if (containsNoCase(value, "sqlite")) sqlite = true;
      if (containsNoCase(value, "postgres")) postgresql = true;
    }
    if ((strcasecmp(name.c_str(), "Database") == 0 || strcasecmp(name.c_str(), "DSN") == 0) &&
        !value.empty())
      namesDatabase = true;
    if (strcasecmp(name.c_str(), "Timeout") == 0) namesTimeout = true;
    if (strcasecmp(name.c_str(), "pqopt") == 0) namesLibpqOptions = true;
  }
  std::string out = connection.empty() ? std::string("Driver=SQLite3;") : connection;
  auto add = [&out](const std::string& attribute) {
    if (out.back() != ';') out += ';';
    out += attribute;
  };
  if (sqlite && !namesDatabase) {
    std::size_t separator = settingFile.find_last_of("/\\");
    std::string file = separator == std::string::npos
                           ? std::string(kDefaultDatabaseFile)
                           : settingFile.substr(0, separator + 1) + kDefaultDatabaseFile;
    add("Database=" + file + ";");
  }
  if (sqlite && !namesTimeout && queryTimeout > 0)
    add("Timeout=" + std::to_string(queryTimeout * 1000) + ";");
  if (postgresql && !namesLibpqOptions) add(kPostgresqlLiveness);
  return out;
}

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

void copyBounded(char* field, std::size_t size, const std::string& value) {
  std::size_t n = std::min(value.size(), size - 1);
  std::memcpy(field, value.data(), n);
  field[n] = '\0';
}

long now() { return static_cast<long>(std::time(nullptr)); }

}  // namespace

CMailQueueDBVistor::CMailQueueDBVistor() : m_pDatabase(new CADODatabase), m_pException(nullptr) {}

CMailQueueDBVistor::~CMailQueueDBVistor() { delete m_pDatabase; }

void CMailQueueDBVistor::report(const char* source, const std::string& description) {
  if (m_pException == nullptr) return;
  tagDeviceException record;
  std::memset(&record, 0, sizeof record);
  copyBounded(record.szSource, sizeof record.szSource, source);
  copyBounded(record.szDescription, sizeof record.szDescription, description);
  m_pException->OnDeviceException(&record);
}

int CMailQueueDBVistor::Initialize(IDeviceException* sink, const char* settingFile) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  m_pException = sink;
  const char* file = settingFile ? settingFile : "";
  std::string user, password, connection;
  try {
    user = readSetting("UserName", 255, file);
    password = readSetting("Password", 255, file);
    const unsigned long queryTimeout = queryTimeoutOf(readSetting("QueryTimeout", 32, file));
    connection = effectiveConnection(readSetting("CnnStr", 512, file), file, queryTimeout);
    if (m_pDatabase->IsOpen()) return 1;
    m_pDatabase->SetQueryTimeout(queryTimeout);
    if (!m_pDatabase->Open(connection, user, password)) {
      report(kInitialize, masked("Failed to open database . " + m_pDatabase->GetLastErrorString(),
                                 password, connection));
      return 0;
    }
    if (m_pDatabase->Engine() == SqlEngine::SQLite) {
      // A commit writes the log once and syncs it once; readers and the writer do not block each
      // other.
      CADORecordSet mode(m_pDatabase);
      mode.Open("PRAGMA journal_mode=WAL");
      mode.Close();
      m_pDatabase->Execute("PRAGMA synchronous=FULL");
    }
    const char* schema =
        m_pDatabase->Engine() == SqlEngine::SQLite ? kSqliteSchema : kPostgresqlSchema;
    for (const std::string& statement : statementsOf(schema)) {
      if (m_pDatabase->Execute(statement)) continue;
      // Another process may have created the table in the meantime.
      const std::string failure = m_pDatabase->GetLastErrorString();
      if (!m_pDatabase->Execute("select MissionID from MailQueue where 1 = 0")) {
        m_pDatabase->Close();
        report(kInitialize, masked("Failed to open database . " + failure, password, connection));
        return 0;
      }
    }
    if (!addMissingColumns()) {
      const std::string failure = m_pDatabase->GetLastErrorString();
      m_pDatabase->Close();
      report(kInitialize, masked("Failed to open database . " + failure, password, connection));
      return 0;
    }
    return 1;
  } catch (const std::exception&) {
    report(kInitialize, "Catch unexception error while openning database U:" + user + " P:******" +
                            " Cnn:" + masked(connection, password, connection));
    return 0;
  }
}

std::string CMailQueueDBVistor::GetUniqueMissionID() {
  std::lock_guard<std::mutex> guard(m_idLock);
  for (;;) {
    std::string id = composeMissionID(platform::localHostName(), now(), platform::tickCount());
    // Two identifiers made one after the other differ.
    if (id != m_sLastID) {
      m_sLastID = id;
      return id;
    }
    platform::sleepMs(1);
  }
}

int CMailQueueDBVistor::InsertMissionToQueueTable(IMailMission* mission) {
  if (mission == nullptr) return 0;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    if (text(mission->GetMissionID()).empty()) mission->SetMissionID(GetUniqueMissionID().c_str());
    const std::string base = text(mission->GetMissionID());
    std::string candidate = base;
    for (int counter = 0;;) {
      if (candidate.size() > kMissionIdLimit) {
        report(kInsert, "Can not add new record into mailqueue table.");
        return 0;
      }
      CADORecordSet set(m_pDatabase);
      if (!set.Open("select * from MailQueue where MissionID = ?", {candidate})) {
        report(kInsert, "Failed to open Ado table." + m_pDatabase->GetLastErrorString());
        return 0;
      }
      if (!set.IsEof()) {
        candidate = base + "." + std::to_string(++counter);
        continue;
      }
      set.Close();
      try {
        if (!set.AddNew("MailQueue")) {
          report(kInsert, "Can not add new record into mailqueue table.");
          return 0;
        }
      } catch (const std::exception&) {
        report(kInsert, "Catch unexception error while add new record into mailqueue table.");
      }
      try {
        set.SetFieldValue("MissionID", candidate);
        set.SetFieldValue("MailFrom", text(mission->GetMailFrom()));
        set.SetFieldValue("MailTo", text(mission->GetMailTo()));
        set.SetFieldValue("MailSubject", text(mission->GetSubject()));
        set.SetFieldValue("MailBody", text(mission->GetMailBody()));
        set.SetFieldValue("MailSize", mission->GetMailSize());
        set.SetFieldValue("RequestTime", mission->GetRequestTime());
        set.SetFieldValue("DeliveryTime", mission->GetDeliveryTime());
        set.SetFieldValue("MailServerProject", text(mission->GetSMTPServerProject()));
      } catch (const std::exception&) {
        report(kInsert, "Catch unexception error while Set mail field.");
      }
      try {
        if (!set.Update()) {
          const std::string failure = set.GetLastErrorString();
          // Another writer may have taken the candidate since it was looked up.
          CADORecordSet again(m_pDatabase);
          if (again.Open("select MissionID from MailQueue where MissionID = ?", {candidate}) &&
              !again.IsEof()) {
            candidate = base + "." + std::to_string(++counter);
            continue;
          }
          report(kInsert, "Can not updata new record into mailqueue table." + failure);
          return 0;
        }
      } catch (const std::exception&) {
        report(kInsert, "Catch unexception error while updata record into mailqueue table.");
        return 0;
      }
      mission->SetMissionID(candidate.c_str());
      return 1;
    }
  } catch (const std::exception&) {
    report(kInsert, "Catch unexception error while add new record into mailqueue table.");
    return 0;
  }
}

int CMailQueueDBVistor::ModifyMailQueueMission(IMailMission*) { return 0; }

int CMailQueueDBVistor::HaveActivedMission() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (!m_pDatabase->IsOpen()) return 0;
  try {
    CADORecordSet set(m_pDatabase);
    if (!set.Open("select MissionID from MailQueue where DeliveryTime < ? AND State < ? LIMIT 1",
                  {now(), kHandedOut})) {
      report(kHaveActived, "Failed to open Ado table." + m_pDatabase->GetLastErrorString());
      return 0;
    }
    return set.IsEof() ? 0 : 1;
  } catch (const std::exception&) {
    report(kHaveActived, "Catch unexception error while run select funtion");
    return 0;
  }
}

int CMailQueueDBVistor::GetDeliveryMission(const char*, const char* serverProject, int limit,
                                           tagDeliveryMail& out) {
  return selectDue(kGetDelivery, serverProject, limit, out, false, 0);
}

int CMailQueueDBVistor::ClaimDeliveryMission(const char* serverProject, int limit,
                                             tagDeliveryMail& out) {
  return selectDue(kGetDelivery, serverProject, limit, out, true, 0);
}

int CMailQueueDBVistor::ClaimDeliveryMission(const char* serverProject, int limit,
                                             tagDeliveryMail& out, long leaseSeconds) {
  return selectDue(kGetDelivery, serverProject, limit, out, true, leaseSeconds > 0 ? leaseSeconds : 0);
}

int CMailQueueDBVistor::selectDue(const char* source, const char* serverProject, int limit,
                                  tagDeliveryMail& out, bool claim, long leaseSeconds) {
  if (limit < 0) return 0;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    const std::string project = text(serverProject);
    const long time = now();
    // Waiting and due; with a lease, also handed out under a lease that has run out.
    std::string due = "State < ?";
    std::vector<SqlValue> dueParameters{kHandedOut};
    if (leaseSeconds > 0) {
      due = "(State < ? OR (State = ? AND LeaseUntil > 0 AND LeaseUntil < ?))";
      dueParameters = {kHandedOut, kHandedOut, time};
    }
    std::string where = " where DeliveryTime < ? AND " + due;
    std::vector<SqlValue> parameters{time};
    parameters.insert(parameters.end(), dueParameters.begin(), dueParameters.end());
    if (!project.empty()) {
      where += " AND MailServerProject = ?";
      parameters.push_back(project);
    }
    const long leaseUntil = leaseSeconds > 0 ? time + leaseSeconds : 0;
    auto fill = [&](CADORecordSet& set) {
      std::string value;
      std::memset(&out, 0, sizeof out);
      set.GetFieldValue("MissionID", value);
      copyBounded(out.szMissionID, sizeof out.szMissionID, value);
      set.GetFieldValue("MailFrom", value);
      copyBounded(out.szMailFrom, sizeof out.szMailFrom, value);
      set.GetFieldValue("MailTo", value);
      copyBounded(out.szMailTo, sizeof out.szMailTo, value);
      set.GetFieldValue("MailServerProject", value);
      copyBounded(out.szSMTPServerProject, sizeof out.szSMTPServerProject, value);
      set.GetFieldValue("MailBody", value);
      copyBounded(out.szMailBody, sizeof out.szMailBody, value);
      return 1;
    };

    CADORecordSet set(m_pDatabase);
    if (!claim) {
      if (!set.Open("select * from MailQueue" + where, parameters)) {
        report(source, "Failed to open Ado table." + m_pDatabase->GetLastErrorString());
        return 0;
      }
      if (set.IsEof()) {
        report(source, "Have no such record");
        return 0;
      }
      return fill(set);
    }

    if (m_pDatabase->Engine() == SqlEngine::PostgreSQL) {
      // One statement: the row is locked, skipped by other takers while locked, and changed.
      std::vector<SqlValue> all{kHandedOut, leaseUntil};
      all.insert(all.end(), parameters.begin(), parameters.end());
      if (!set.Open("UPDATE MailQueue SET State = ?, LeaseUntil = ? WHERE MissionID = (SELECT "
                    "MissionID FROM MailQueue" +
                        where +
                        " LIMIT 1 FOR UPDATE SKIP LOCKED) RETURNING MissionID, MailFrom, MailTo, "
                        "MailServerProject, MailBody",
                    all)) {
        report(source, "Failed to open Ado table." + m_pDatabase->GetLastErrorString());
        return 0;
      }
      if (set.IsEof()) {
        report(source, "Have no such record");
        return 0;
      }
      return fill(set);
    }

    // A due row is taken by the update that moves it from due to handed out; a row that another
    // process took in between is changed by no update here, and the next candidate is tried.
    for (;;) {
      CADORecordSet candidates(m_pDatabase);
      if (!candidates.Open("select MissionID from MailQueue" + where + " LIMIT 16", parameters)) {
        report(source, "Failed to open Ado table." + m_pDatabase->GetLastErrorString());
        return 0;
      }
      if (candidates.IsEof()) {
        report(source, "Have no such record");
        return 0;
      }
      std::vector<std::string> ids;
      for (std::string id; !candidates.IsEof(); candidates.MoveNext())
        if (candidates.GetFieldValue("MissionID", id)) ids.push_back(id);
      candidates.Close();
      for (const std::string& id : ids) {
        long changed = 0;
        std::vector<SqlValue> take{kHandedOut, leaseUntil, id};
        take.insert(take.end(), dueParameters.begin(), dueParameters.end());
        if (!m_pDatabase->Execute(
                "UPDATE MailQueue SET State = ?, LeaseUntil = ? WHERE MissionID = ? AND " + due,
                take, &changed)) {
          report(source, "Failed to open Ado table." + m_pDatabase->GetLastErrorString());
          return 0;
        }
        if (changed != 1) continue;
        if (!set.Open("select * from MailQueue where MissionID = ?", {id}) || set.IsEof()) {
          report(source, "Failed to open Ado table." + m_pDatabase->GetLastErrorString());
          return 0;
        }
        return fill(set);
      }
    }
  } catch (const std::exception&) {
    report(source, "Catch unexception error while run select funtion");
    return 0;
  }
}

int CMailQueueDBVistor::Modify_State(const char* missionId, unsigned state) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    return m_pDatabase->Execute("UPDATE MailQueue SET State = ? where MissionID = ?",
                                {static_cast<long>(state), text(missionId)})
               ? 1
               : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

int CMailQueueDBVistor::Modify_DeliveryTime(const char* missionId, long deliveryTime) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    long changed = 0;
    return m_pDatabase->Execute("UPDATE MailQueue SET DeliveryTime = ? where MissionID = ?",
                                {deliveryTime, text(missionId)}, &changed) &&
                   changed > 0
               ? 1
               : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

int CMailQueueDBVistor::RemoveMission(const char* missionId) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    long changed = 0;
    return m_pDatabase->Execute("DELETE FROM MailQueue WHERE MissionID = ? AND State < ?",
                                {text(missionId), kHandedOut}, &changed) &&
                   changed > 0
               ? 1
               : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

int CMailQueueDBVistor::RenewLease(const char* missionId, long leaseSeconds) {
  if (leaseSeconds <= 0) return 0;
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    const long time = now();
    long changed = 0;
    return m_pDatabase->Execute(
               "UPDATE MailQueue SET LeaseUntil = ? WHERE MissionID = ? AND State = ? AND "
               "LeaseUntil >= ?",
               {time + leaseSeconds, text(missionId), kHandedOut, time}, &changed) &&
                   changed > 0
               ? 1
               : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

int CMailQueueDBVistor::RecordDeliveryAttempt(const char* missionId, unsigned state,
                                              long deliveryTime, const char* reply) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    std::string kept = text(reply);
    if (kept.size() > kReplyLimit) kept.resize(kReplyLimit);
    long changed = 0;
    return m_pDatabase->Execute(
               "UPDATE MailQueue SET Tries = Tries + 1, State = ?, DeliveryTime = ?, "
               "LastReply = ?, LeaseUntil = 0 WHERE MissionID = ?",
               {static_cast<long>(state), deliveryTime, kept, text(missionId)}, &changed) &&
                   changed > 0
               ? 1
               : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

namespace {

long numberField(CADORecordSet& set, const char* column) {
  std::string value;
  set.GetFieldValue(column, value);
  return std::strtol(value.c_str(), nullptr, 10);
}

tagQueuedMission queuedMission(CADORecordSet& set) {
  tagQueuedMission row;
  set.GetFieldValue("MissionID", row.sMissionID);
  set.GetFieldValue("MailFrom", row.sMailFrom);
  set.GetFieldValue("MailTo", row.sMailTo);
  set.GetFieldValue("MailSubject", row.sSubject);
  set.GetFieldValue("MailBody", row.sMailBody);
  set.GetFieldValue("MailServerProject", row.sSMTPServerProject);
  set.GetFieldValue("LastReply", row.sLastReply);
  row.nMailSize = numberField(set, "MailSize");
  row.tmRequest = numberField(set, "RequestTime");
  row.tmDelivery = numberField(set, "DeliveryTime");
  row.nState = static_cast<unsigned>(numberField(set, "State"));
  row.nTries = static_cast<int>(numberField(set, "Tries"));
  row.tmLeaseUntil = numberField(set, "LeaseUntil");
  return row;
}

}  // namespace

int CMailQueueDBVistor::GetQueuedMission(const char* missionId, tagQueuedMission& out) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    CADORecordSet set(m_pDatabase);
    if (!set.Open("select * from MailQueue where MissionID = ?", {text(missionId)}) ||
        set.IsEof())
      return 0;
    out = queuedMission(set);
    return 1;
  } catch (const std::exception&) {
    return 0;
  }
}

int CMailQueueDBVistor::ListMissions(std::vector<tagQueuedMission>& out) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  try {
    std::vector<tagQueuedMission> rows;
    CADORecordSet set(m_pDatabase);
    if (!set.Open("select * from MailQueue order by RequestTime, MissionID")) return 0;
    for (; !set.IsEof(); set.MoveNext()) rows.push_back(queuedMission(set));
    out = std::move(rows);
    return 1;
  } catch (const std::exception&) {
    return 0;
  }
}

bool CMailQueueDBVistor::addMissingColumns() {
  static const std::pair<const char*, const char*> kAdded[] = {
      {"Tries", "INTEGER NOT NULL DEFAULT 0"},
      {"LastReply", "TEXT NOT NULL DEFAULT ''"},
      {"LeaseUntil", "INTEGER NOT NULL DEFAULT 0"}};
  for (const auto& [column, definition] : kAdded) {
    const std::string probe = std::string("select ") + column + " from MailQueue where 1 = 0";
    if (m_pDatabase->Execute(probe)) continue;
    // Another process may add it at the same moment.
    if (!m_pDatabase->Execute(std::string("ALTER TABLE MailQueue ADD COLUMN ") + column + " " +
                              definition) &&
        !m_pDatabase->Execute(probe))
      return false;
  }
  return true;
}
