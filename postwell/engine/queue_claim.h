#pragma once
// Handing out a due mission exactly once, even to takers in several processes: two ways to do it,
// for the engines that can lock a row and skip locked ones, and for those that cannot.

#include <string>
#include <vector>

#include "engine/odbc_database.h"

// The missions that may be handed out now.
struct DueMissions {
  // " where ..." for a select of MailQueue, and its parameters.
  std::string where;
  std::vector<SqlValue> parameters;
  // The state part of the condition alone, which the taking update checks again, and its parameters.
  std::string due;
  std::vector<SqlValue> dueParameters;
};

// Waiting and with their delivery time passed, of the server project when one is given; with a
// lease, also missions handed out under a lease that has run out.
DueMissions dueMissions(const std::string& serverProject, long now, long leaseSeconds);

enum class ClaimResult { kClaimed, kNoneDue, kFailed };

// One statement locks a due row, skipping rows that other takers hold locked, and hands it out
// (PostgreSQL). The row's MissionID, MailFrom, MailTo, MailServerProject and MailBody are then the
// current row of the set.
ClaimResult claimWithLockedRow(CADODatabase& database, const DueMissions& due, long leaseUntil,
                               CADORecordSet& row);

// A due row is taken by the update that moves it from due to handed out; a row that another taker
// took in between is changed by no update here, and the next candidate is tried. The whole row is
// then the current row of the set.
ClaimResult claimByConditionalUpdate(CADODatabase& database, const DueMissions& due,
                                     long leaseUntil, CADORecordSet& row);
