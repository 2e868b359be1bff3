#include "postwell/mail_queue_db.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

#include "engine/mission_id.h"
#include "engine/odbc_database.h"
#include "engine/queue_claim.h"
#include "engine/queue_connection.h"
#include "engine/queue_schema.h"
#include "platform/clock.h"
#include "platform/host_name.h"
#include "platform/profile.h"

namespace {

// The state as a bound parameter (the class's own enumerator would not bind as one).
constexpr long kHandedOutState = CMailQueueDBVistor::kHandedOut;
// The longest reply kept with a mission.
constexpr std::size_t kReplyLimit = 2000;

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

void copyBounded(char* field, std::size_t size, const std::string& value) {
  std::size_t n = std::min(value.size(), size - 1);
  std::memcpy(field, value.data(), n);
  field[n] = '\0';
}

long now() { return static_cast<long>(std::time(nullptr)); }

// A due mission, left as it is: the first of them becomes the set's current row.
ClaimResult findDue(CADORecordSet& set, const DueMissions& due) {
  if (!set.Open("select * from MailQueue" + due.where, due.parameters)) return ClaimResult::kFailed;
  return set.IsEof() ? ClaimResult::kNoneDue : ClaimResult::kClaimed;
}

void copyDeliveryMail(CADORecordSet& set, tagDeliveryMail& out) {
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
}

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
      report(kInitialize, maskSecrets("Failed to open database . " +
                                          m_pDatabase->GetLastErrorString(),
                                      password, connection));
      return 0;
    }
    std::string failure;
    if (!prepareQueueTable(*m_pDatabase, failure)) {
      m_pDatabase->Close();
      report(kInitialize, maskSecrets("Failed to open database . " + failure, password, connection));
      return 0;
    }
    return 1;
  } catch (const std::exception&) {
    report(kInitialize, "Catch unexception error while openning database U:" + user + " P:******" +
                            " Cnn:" + maskSecrets(connection, password, connection));
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
                  {now(), kHandedOutState})) {
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
    const long time = now();
    const DueMissions due = dueMissions(text(serverProject), time, leaseSeconds);
    const long leaseUntil = leaseSeconds > 0 ? time + leaseSeconds : 0;
    CADORecordSet set(m_pDatabase);
    const ClaimResult result =
        !claim ? findDue(set, due)
        : m_pDatabase->Engine() == SqlEngine::PostgreSQL
            ? claimWithLockedRow(*m_pDatabase, due, leaseUntil, set)
            : claimByConditionalUpdate(*m_pDatabase, due, leaseUntil, set);
    if (result == ClaimResult::kFailed) {
      report(source, "Failed to open Ado table." + m_pDatabase->GetLastErrorString());
      return 0;
    }
    if (result == ClaimResult::kNoneDue) {
      report(source, "Have no such record");
      return 0;
    }
    copyDeliveryMail(set, out);
    return 1;
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
                                {text(missionId), kHandedOutState}, &changed) &&
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
               {time + leaseSeconds, text(missionId), kHandedOutState, time}, &changed) &&
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
