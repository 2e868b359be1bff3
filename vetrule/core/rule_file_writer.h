#pragma once
// Rewriting the content-filter rule file: the other rules as read, then one sign-off rule per
// supervisor with users, all renumbered Rule001, Rule002, ...

#include <cstddef>
#include <string>
#include <vector>

#include "core/rule_section.h"
#include "core/sign_off_rule.h"

namespace vetrule {

// One entry of the supervisor list: its text and the record it carries, if any.
struct SupervisorListEntry {
  std::string text;
  SupervisorRecord* record = nullptr;
};

// "Rule001" to "Rule099", then "Rule100", "Rule1000", ...
std::string ruleSectionName(std::size_t number);

// Replaces the sign-off rules of lists by rules built from the supervisor list (entries without a
// record or without users give none) and sets the rule names of those records. False, with last
// error 87 and nothing changed, when an entry that would give a rule has a supervisor or a user
// that is not a rule address (see isRuleAddress): the rule would hold other users or copy the mail
// elsewhere.
bool rebuildSignOffRules(const std::vector<SupervisorListEntry>& supervisorList, RuleLists& lists);

// The rule file holding lists.otherRules and then lists.signOffRules, numbered from 1, each key as
// one line "key=value" with CRLF. A section without keys writes nothing but uses up its number.
// False, with last error 87, when a key or value would not read back as one key line: a key that
// holds "=" or starts with "[", or a line break or zero byte in a key or value.
bool renderRuleFile(const RuleLists& lists, std::string& text);

// Rebuilds the sign-off rules and replaces the file with the new contents in one rename, so that
// the file holds either all the old rules or all the new ones. False, with the platform's last
// error set, when the rules cannot be written as they are (87) or the new file could not be
// written; the old file is then unchanged.
bool saveRules(const std::vector<SupervisorListEntry>& supervisorList, RuleLists& lists,
               const std::string& path);

// The message shown when saving fails.
std::string saveFailureMessage(const std::string& path, unsigned long systemError);

}  // namespace vetrule
