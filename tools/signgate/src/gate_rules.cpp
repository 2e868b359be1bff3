#include "gate_rules.h"

#include <strings.h>

#include <algorithm>

#include "core/rule_file_reader.h"
#include "core/sign_off_rule.h"
#include "mail_address.h"

namespace signgate {

namespace {

constexpr std::string_view kUserCondition = "FROM|contains|OR|";
constexpr std::string_view kMarkerCondition = "X-Sign|does not contain|AND|vandry!|";
constexpr std::string_view kCopyAction = "copy to|\"";
constexpr std::string_view kDeleteAction = "delete|";

// Why the rule is not one that vetrule writes whole; empty when it is.
std::string problemOf(const vetrule::RuleSection& section) {
  const std::string users = section.keyMap.valueOf("Condition01");
  const std::string copy = section.keyMap.valueOf("Action01");
  if (section.keyMap.find("Enable") == nullptr) return "it has no Enable key";
  if (!users.starts_with(kUserCondition) || !users.ends_with("|") ||
      users.size() == kUserCondition.size())
    return "its Condition01 is not a list of users";
  if (section.keyMap.valueOf("Condition02") != kMarkerCondition)
    return "its Condition02 is not the approval test";
  if (!copy.starts_with(kCopyAction) || !copy.ends_with("\"") || copy.size() < kCopyAction.size() + 2)
    return "its Action01 names no supervisor";
  if (section.keyMap.valueOf("Action02") != kDeleteAction) return "its Action02 is not delete";
  return "";
}

}  // namespace

bool GateRules::parse(std::string_view text, std::string& error) {
  vetrule::RuleLists lists;
  vetrule::parseRuleText(text, lists);
  std::vector<SignOffRule> rules;
  for (const vetrule::RuleSection& section : lists.signOffRules) {
    const std::string ruleName = section.keyMap.valueOf("RuleName");
    if (std::string problem = problemOf(section); !problem.empty()) {
      error = "sign-off rule " + ruleName + " " + section.headerText + " is not whole: " + problem;
      return false;
    }
    const vetrule::SupervisorRecord record = vetrule::decodeSignOffRule(section);
    if (!vetrule::isRuleAddress(record.supervisorAddress)) {
      error = "sign-off rule " + ruleName + " names no valid supervisor address";
      return false;
    }
    // Only a value other than "Yes" (in any case) turns a rule off, as the mail server's filter
    // reads it: a hand-written "yes" must not let the users' mail pass unreviewed.
    if (::strcasecmp(section.keyMap.valueOf("Enable").c_str(), "Yes") != 0) continue;
    SignOffRule rule{ruleName, canonicalAddress(record.supervisorAddress), {}};
    for (const std::string& user : record.userList) rule.users.push_back(canonicalAddress(user));
    rules.push_back(std::move(rule));
  }
  rules_ = std::move(rules);
  return true;
}

std::vector<const SignOffRule*> GateRules::rulesOfUser(const std::string& address) const {
  std::vector<const SignOffRule*> found;
  if (address.empty()) return found;
  for (const SignOffRule& rule : rules_)
    if (std::find(rule.users.begin(), rule.users.end(), address) != rule.users.end())
      found.push_back(&rule);
  return found;
}

bool GateRules::isSupervisor(const std::string& address) const {
  return std::any_of(rules_.begin(), rules_.end(),
                     [&](const SignOffRule& rule) { return rule.supervisor == address; });
}

}  // namespace signgate
