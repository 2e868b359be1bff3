#include "core/rule_file_writer.h"

#include <cstdio>

#include "platform/last_error.h"
#include "platform/profile.h"

namespace vetrule {

std::string ruleSectionName(std::size_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "Rule%03zu", number);
  return name;
}

void rebuildSignOffRules(const std::vector<SupervisorListEntry>& supervisorList, RuleLists& lists) {
  lists.signOffRules.clear();
  for (std::size_t position = 0; position < supervisorList.size(); ++position) {
    const SupervisorListEntry& entry = supervisorList[position];
    if (entry.record == nullptr || entry.record->userList.empty()) continue;
    entry.record->ruleName = signOffRuleName(position, entry.text);
    lists.signOffRules.push_back(buildSignOffRule(*entry.record));
  }
}

platform::ProfileFile renderRuleFile(const RuleLists& lists) {
  platform::ProfileFile file;
  std::size_t number = 0;
  for (const auto* rules : {&lists.otherRules, &lists.signOffRules}) {
    for (const RuleSection& section : *rules) {
      std::string name = ruleSectionName(++number);
      for (const auto& [key, value] : section.keyMap) file.setValue(name, key, value);
    }
  }
  return file;
}

bool saveRules(const std::vector<SupervisorListEntry>& supervisorList, RuleLists& lists,
               const std::string& path) {
  rebuildSignOffRules(supervisorList, lists);
  return renderRuleFile(lists).save(path);
}

std::string saveFailureMessage(const std::string& path, unsigned long systemError) {
  return "保存配置文件" + path + "失败.(error code:" + std::to_string(systemError) +
         "),规则文件未作改动";
}

}  // namespace vetrule
