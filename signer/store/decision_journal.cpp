#include "store/decision_journal.h"

#include <array>
#include <ctime>
#include <fstream>
#include <unordered_set>

#include "platform/append_file.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "platform/whole_file.h"

namespace {

constexpr char kFieldSeparator = '\t';
constexpr std::size_t kFieldCount = 9;

// The fields in the order of the line.
template <typename Decision>
auto Fields(Decision& decision) {
  return std::array{&decision.Time,    &decision.TaskId,     &decision.WaterId,
                    &decision.Sender,  &decision.Recipients, &decision.Subject,
                    &decision.Decision, &decision.Reason,    &decision.Approver};
}

// True when the file is empty or ends with a line feed.
bool EndsWithLineFeed(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file.seekg(-1, std::ios::end)) return true;
  char last = '\n';
  file.get(last);
  return last == '\n';
}

std::vector<std::string> Split(std::string_view line) {
  std::vector<std::string> fields;
  for (;;) {
    const std::size_t separator = line.find(kFieldSeparator);
    fields.emplace_back(line.substr(0, separator));
    if (separator == std::string_view::npos) return fields;
    line.remove_prefix(separator + 1);
  }
}

}  // namespace

std::string DecisionJournalPath(const std::string& home) { return home + "/Decisions.log"; }

std::string DecisionTime() {
  const std::tm now = platform::localTimeNow();
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &now);
  return text;
}

std::string JournalField(std::string_view value) {
  std::string field(value);
  for (char& c : field)
    if (c == '\t' || c == '\r' || c == '\n' || c == '\0') c = ' ';
  return field;
}

std::string JournalLine(const tagDecision& decision) {
  std::string line;
  for (const std::string* field : Fields(decision)) {
    if (field != &decision.Time) line += kFieldSeparator;
    line += JournalField(*field);
  }
  return line + '\n';
}

bool AppendDecision(const std::string& home, const tagDecision& decision) {
  const std::string path = DecisionJournalPath(home);
  std::string line = JournalLine(decision);
  if (!platform::fileExists(path)) return platform::replaceWholeFile(path, line);
  if (!EndsWithLineFeed(path)) line.insert(0, 1, '\n');
  return platform::appendToFile(path, line, true);
}

std::vector<tagDecision> ReadDecisions(const std::string& home) {
  std::string text;
  std::vector<tagDecision> decisions;
  if (!platform::readWholeFile(DecisionJournalPath(home), text)) return decisions;
  std::string_view rest = text;
  for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos;
       rest.remove_prefix(end + 1)) {
    std::string_view line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // edited on Windows
    std::vector<std::string> fields = Split(line);
    if (fields.size() != kFieldCount) continue;
    tagDecision decision;
    for (std::size_t i = 0; i < kFieldCount; ++i) *Fields(decision)[i] = std::move(fields[i]);
    decisions.push_back(std::move(decision));
  }
  return decisions;
}

std::vector<std::string> DecidedWaterIds(const std::string& home) {
  std::vector<std::string> waterIds;
  std::unordered_set<std::string> seen;
  for (tagDecision& decision : ReadDecisions(home))
    if (!decision.WaterId.empty() && seen.insert(decision.WaterId).second)
      waterIds.push_back(std::move(decision.WaterId));
  return waterIds;
}
