#pragma once
// The decision journal, "Decisions.log" in the user's home folder: the supervisor's record of every
// task approved or returned, one line per decision, appended and flushed to disk as the task goes
// into the queue. A line is nine fields separated by tabs and ends with a line feed:
//
//   time  task id  WaterId  sender  recipients  subject  decision  reason  approver
//
// Fields never hold a tab, CR, LF or NUL (they are made blanks), so one decision is one line.

#include <string>
#include <string_view>
#include <vector>

struct tagDecision {
  std::string Time;  // local time, "YYYY-MM-DD HH:MM:SS"
  std::string TaskId;
  std::string WaterId;
  std::string Sender;      // From of the task as downloaded
  std::string Recipients;  // its To, Cc and Bcc, the non-empty ones joined by ", "
  std::string Subject;
  std::string Decision;  // kDecisionApprove or kDecisionReturn
  std::string Reason;
  std::string Approver;  // the login user name

  bool operator==(const tagDecision&) const = default;
};

inline constexpr char kDecisionApprove[] = "approve";
inline constexpr char kDecisionReturn[] = "return";

std::string DecisionJournalPath(const std::string& home);

// The local time now as the journal writes it.
std::string DecisionTime();

// The value with every tab, CR, LF and NUL made a blank.
std::string JournalField(std::string_view value);

// The decision as one journal line, line feed included.
std::string JournalLine(const tagDecision& decision);

// Appends the decision's line and flushes it to disk; a journal that does not exist yet is created
// with its folder entry flushed too. A last line cut short by an earlier crash is ended first, so
// the new line stands on its own. False when the line could not be written.
bool AppendDecision(const std::string& home, const tagDecision& decision);

// The decisions of the journal's whole lines, in order. Lines without nine fields, and a last line
// without its line feed (cut short by a crash), are passed over. Empty when there is no journal.
std::vector<tagDecision> ReadDecisions(const std::string& home);

// The non-empty WaterIds of the journal, each once, in the order first decided.
std::vector<std::string> DecidedWaterIds(const std::string& home);
