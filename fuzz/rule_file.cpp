// A rule file read, written back and read again holds the same rules, both when its rules are
// written as read and when its sign-off rules are turned into supervisors and built again as the
// rule tool saves them. Whatever the writer refuses is left out; whatever it writes must read back.
#include <algorithm>
#include <iterator>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "core/rule_file_reader.h"
#include "core/rule_file_writer.h"
#include "core/sign_off_rule.h"
#include "fuzz_support.h"

namespace {

using vetrule::RuleSection;

bool sameKeys(const RuleSection& a, const RuleSection& b) {
  auto x = a.keyMap.begin(), y = b.keyMap.begin();
  for (; x != a.keyMap.end() && y != b.keyMap.end(); ++x, ++y)
    if (*x != *y) return false;
  return x == a.keyMap.end() && y == b.keyMap.end();
}

// A section without keys writes nothing, so it is not read back.
bool sameRules(const std::vector<RuleSection>& written, const std::vector<RuleSection>& read) {
  auto r = read.begin();
  for (const RuleSection& section : written) {
    if (section.keyMap.empty()) continue;
    if (r == read.end() || !sameKeys(section, *r)) return false;
    ++r;
  }
  return r == read.end();
}

vetrule::RuleLists reread(const vetrule::RuleLists& lists, bool& written) {
  std::string text;
  vetrule::RuleLists again;
  written = vetrule::renderRuleFile(lists, text);
  if (written) vetrule::parseRuleText(text, again);
  return again;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vetrule::RuleLists lists;
  vetrule::parseRuleText(std::string_view(reinterpret_cast<const char*>(data), size), lists);

  bool written = false;
  vetrule::RuleLists again = reread(lists, written);
  if (written) {
    FUZZ_CHECK(sameRules(lists.otherRules, again.otherRules));
    FUZZ_CHECK(sameRules(lists.signOffRules, again.signOffRules));
  }

  // As the dialog loads them: each sign-off rule's supervisor goes to the top of the list.
  std::list<vetrule::SupervisorRecord> records;
  for (const RuleSection& rule : lists.signOffRules)
    records.push_front(vetrule::decodeSignOffRule(rule));
  std::vector<vetrule::SupervisorListEntry> supervisors;
  for (vetrule::SupervisorRecord& record : records)
    supervisors.push_back({record.supervisorAddress, &record});
  vetrule::RuleLists saved = lists;
  if (!vetrule::rebuildSignOffRules(supervisors, saved)) return 0;
  vetrule::RuleLists loaded = reread(saved, written);
  if (!written) return 0;
  FUZZ_CHECK(sameRules(lists.otherRules, loaded.otherRules));

  auto rule = loaded.signOffRules.begin();
  std::size_t position = 0;
  for (const vetrule::SupervisorRecord& record : records) {
    const std::size_t at = position++;
    if (record.userList.empty()) continue;
    FUZZ_CHECK(rule != loaded.signOffRules.end());
    vetrule::SupervisorRecord decoded = vetrule::decodeSignOffRule(*rule);
    FUZZ_CHECK(rule->keyMap.valueOf("RuleName") ==
               vetrule::signOffRuleName(at, record.supervisorAddress));
    FUZZ_CHECK(decoded.supervisorAddress == record.supervisorAddress);
    // Each load and save reverses the users.
    FUZZ_CHECK(std::equal(decoded.userList.begin(), decoded.userList.end(),
                          record.userList.rbegin(), record.userList.rend()));
    ++rule;
  }
  FUZZ_CHECK(rule == loaded.signOffRules.end());
  return 0;
}
