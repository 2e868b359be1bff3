#include "engine/queue_claim.h"

#include "postwell/mail_queue_db.h"

namespace {

constexpr long kHandedOut = CMailQueueDBVistor::kHandedOut;

}  // namespace

DueMissions dueMissions(const std::string& serverProject, long now, long leaseSeconds) {
  DueMissions out;
  out.due = "State < ?";
  out.dueParameters = {kHandedOut};
  if (leaseSeconds > 0) {
    out.due = "(State < ? OR (State = ? AND LeaseUntil > 0 AND LeaseUntil < ?))";
    out.dueParameters = {kHandedOut, kHandedOut, now};
  }
  out.where = " where DeliveryTime < ? AND " + out.due;
  out.parameters = {now};
  out.parameters.insert(out.parameters.end(), out.dueParameters.begin(), out.dueParameters.end());
  if (!serverProject.empty()) {
    out.where += " AND MailServerProject = ?";
    out.parameters.push_back(serverProject);
  }
  return out;
}

ClaimResult claimWithLockedRow(CADODatabase& database, const DueMissions& due, long leaseUntil,
                               CADORecordSet& row) {
  std::vector<SqlValue> all{kHandedOut, leaseUntil};
  all.insert(all.end(), due.parameters.begin(), due.parameters.end());
  if (!row.Open("UPDATE MailQueue SET State = ?, LeaseUntil = ? WHERE MissionID = (SELECT "
                "MissionID FROM MailQueue" +
                    due.where +
                    " LIMIT 1 FOR UPDATE SKIP LOCKED) RETURNING MissionID, MailFrom, MailTo, "
                    "MailServerProject, MailBody",
                all))
    return ClaimResult::kFailed;
  return row.IsEof() ? ClaimResult::kNoneDue : ClaimResult::kClaimed;
}

ClaimResult claimByConditionalUpdate(CADODatabase& database, const DueMissions& due,
                                     long leaseUntil, CADORecordSet& row) {
  for (;;) {
    CADORecordSet candidates(&database);
    if (!candidates.Open("select MissionID from MailQueue" + due.where + " LIMIT 16",
                         due.parameters))
      return ClaimResult::kFailed;
    if (candidates.IsEof()) return ClaimResult::kNoneDue;
    std::vector<std::string> ids;
    for (std::string id; !candidates.IsEof(); candidates.MoveNext())
      if (candidates.GetFieldValue("MissionID", id)) ids.push_back(id);
    candidates.Close();
    for (const std::string& id : ids) {
      long changed = 0;
      std::vector<SqlValue> take{kHandedOut, leaseUntil, id};
      take.insert(take.end(), due.dueParameters.begin(), due.dueParameters.end());
      if (!database.Execute(
              "UPDATE MailQueue SET State = ?, LeaseUntil = ? WHERE MissionID = ? AND " + due.due,
              take, &changed))
        return ClaimResult::kFailed;
      if (changed != 1) continue;
      if (!row.Open("select * from MailQueue where MissionID = ?", {id}) || row.IsEof())
        return ClaimResult::kFailed;
      return ClaimResult::kClaimed;
    }
  }
}
