#include "core/rule_file_writer.h"

#include <cstdio>
#include <string_view>

#include "platform/last_error.h"
#include "platform/profile.h"

namespace vetrule {

std::string ruleSectionName(std::size_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "Rule%03zu", number);
  return name;
}

namespace {

constexpr unsigned long kInvalidParameter = 87;

bool hasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The reader splits a key line at its first "=" and takes a line that starts with "[" as a header.
bool writableKeyLine(const std::string& key, const std::string& value) {
  return key.find('=') == std::string::npos && !key.starts_with('[') && !hasLineBreakOrNul(key) &&
         !hasLineBreakOrNul(value);
}

bool givesRule(const SupervisorListEntry& entry) {
  return entry.record != nullptr && !entry.record->userList.empty();
}

bool writableRule(const SupervisorListEntry& entry) {
  if (!isRuleAddress(entry.text) || !isRuleAddress(entry.record->supervisorAddress)) return false;
  for (const std::string& user : entry.record->userList)
    if (!isRuleAddress(user)) return false;
  return true;
}

}  // namespace

bool rebuildSignOffRules(const std::vector<SupervisorListEntry>& supervisorList, RuleLists& lists) {
  for (const SupervisorListEntry& entry : supervisorList) {
    if (givesRule(entry) && !writableRule(entry)) {
      platform::setLastError(kInvalidParameter);
      return false;
    }
  }
  lists.signOffRules.clear();
  for (std::size_t position = 0; position < supervisorList.size(); ++position) {
    const SupervisorListEntry& entry = supervisorList[position];
    if (!givesRule(entry)) continue;
    entry.record->ruleName = signOffRuleName(position, entry.text);
    lists.signOffRules.push_back(buildSignOffRule(*entry.record));
  }
  return true;
}

bool renderRuleFile(const RuleLists& lists, std::string& text) {
  std::string out;
  std::size_t number = 0;
  for (const auto* rules : {&lists.otherRules, &lists.signOffRules}) {
    for (const RuleSection& section : *rules) {
      ++number;
      if (section.keyMap.empty()) continue;
      out += "[" + ruleSectionName(number) + "]\r\n";
      for (const auto& [key, value] : section.keyMap) {
        if (!writableKeyLine(key, value)) {
          platform::setLastError(kInvalidParameter);
          return false;
        }
        out += key;
        out += '=';
        out += value;
        out += "\r\n";
      }
    }
  }
  text = std::move(out);
  return true;
}

bool saveRules(const std::vector<SupervisorListEntry>& supervisorList, RuleLists& lists,
               const std::string& path) {
  std::string text;
  if (!rebuildSignOffRules(supervisorList, lists) || !renderRuleFile(lists, text)) return false;
  // Saved as a profile file, so that it waits for any other writer of the file.
  platform::ProfileFile file;
  file.parse(text);
  return file.save(path);
}

std::string saveFailureMessage(const std::string& path, unsigned long systemError) {
  return "保存配置文件" + path + "失败.(error code:" + std::to_string(systemError) +
         "),规则文件未作改动";
}

}  // namespace vetrule
