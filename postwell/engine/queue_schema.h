#pragma once
// The MailQueue table: made when it is missing, and brought up to date when an older version made
// it.

#include <string>

class CADODatabase;

// Sets up a connection just opened, creates the table and its index when they are missing and adds
// the columns that a table made by an older version lacks. Several processes may do so at once.
// False with the database's text of the failure.
bool prepareQueueTable(CADODatabase& database, std::string& failure);
