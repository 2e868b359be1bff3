#include "core/sign_off_rule.h"

namespace vetrule {

namespace {

constexpr std::string_view kSignOffPrefix = "Sign_";

bool isUserAddress(std::string_view token) {
  std::size_t at = token.find('@');
  return at != std::string_view::npos && at > 0;
}

}  // namespace

bool isSignOffRuleName(std::string_view ruleName) { return ruleName.starts_with(kSignOffPrefix); }

std::string signOffRuleName(std::size_t position, const std::string& supervisorAddress) {
  return std::string(kSignOffPrefix) + std::to_string(position) + "_" + supervisorAddress;
}

SupervisorRecord decodeSignOffRule(const RuleSection& section) {
  SupervisorRecord record;
  std::string condition = section.keyMap.valueOf("Condition01");
  std::size_t start = 0;
  while (start <= condition.size()) {
    std::size_t bar = condition.find('|', start);
    if (bar == std::string::npos) bar = condition.size();
    std::string_view token(condition.data() + start, bar - start);
    if (isUserAddress(token)) record.userList.emplace_front(token);
    start = bar + 1;
  }

  std::string action = section.keyMap.valueOf("Action01");
  std::size_t bar = action.find('|');
  if (bar != std::string::npos) {
    for (char c : std::string_view(action).substr(bar + 1))
      if (c != '"') record.supervisorAddress += c;
  }
  return record;
}

bool isRuleAddress(std::string_view address) {
  if (!isUserAddress(address)) return false;
  for (unsigned char c : address)
    if (c == '|' || c == '"' || c < 0x20 || c == 0x7f) return false;
  return true;
}

RuleSection buildSignOffRule(const SupervisorRecord& record) {
  std::string fromUsers = "FROM|contains|OR|";
  for (const std::string& user : record.userList) fromUsers += user + "|";

  RuleSection section;
  KeyMap& keys = section.keyMap;
  keys.set("RuleName", record.ruleName);
  keys.set("Enable", "Yes");
  keys.set("ThisRuleCondition", "All");
  keys.set("ProcessQueue", "REMOTE");
  keys.set("Condition01", std::move(fromUsers));
  keys.set("Condition02", "X-Sign|does not contain|AND|vandry!|");
  keys.set("Action01", "copy to|\"" + record.supervisorAddress + "\"");
  keys.set("Action02", "delete|");
  return section;
}

}  // namespace vetrule
