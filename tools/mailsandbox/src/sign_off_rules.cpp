#include "sign_off_rules.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>

#include "message_text.h"
#include "platform/last_error.h"
#include "platform/profile.h"
#include "text.h"

namespace mailsandbox {

namespace {

// Keys such as Condition01, Condition02 ... by their number.
std::map<long, std::string> numberedValues(const platform::ProfileFile& file, const std::string& section,
                                           std::string_view prefix) {
  std::map<long, std::string> values;
  for (const std::string& key : file.keyNames(section)) {
    std::string_view suffix = std::string_view(key).substr(std::min(key.size(), prefix.size()));
    if (!startsWithIgnoringCase(key, prefix) || suffix.empty() ||
        suffix.find_first_not_of("0123456789") != std::string_view::npos)
      continue;
    values[std::strtol(std::string(suffix).c_str(), nullptr, 10)] = file.value(section, key).value_or("");
  }
  return values;
}

std::optional<RuleCondition> parseCondition(std::string_view value) {
  std::vector<std::string> parts = split(value, '|');
  if (parts.size() < 3) return std::nullopt;
  RuleCondition condition;
  condition.field = parts[0];
  if (equalsIgnoringCase(parts[1], "does not contain"))
    condition.negated = true;
  else if (!equalsIgnoringCase(parts[1], "contains"))
    return std::nullopt;
  if (equalsIgnoringCase(parts[2], "AND"))
    condition.everyText = true;
  else if (!equalsIgnoringCase(parts[2], "OR"))
    return std::nullopt;
  for (std::size_t i = 3; i < parts.size(); ++i)
    if (!parts[i].empty()) condition.texts.push_back(parts[i]);
  return condition;
}

void addAction(SignOffRule& rule, std::string_view value) {
  std::size_t bar = value.find('|');
  std::string_view name = trimBlanks(value.substr(0, bar));
  std::string_view argument = bar == std::string_view::npos ? std::string_view() : value.substr(bar + 1);
  if (equalsIgnoringCase(name, "delete")) {
    rule.deletesMessage = true;
  } else if (equalsIgnoringCase(name, "copy to")) {
    std::string addresses(argument);
    std::erase(addresses, '"');
    std::replace(addresses.begin(), addresses.end(), ';', ',');
    for (const std::string& address : split(addresses, ','))
      if (!trimBlanks(address).empty()) rule.copyTo.emplace_back(trimBlanks(address));
  } else {
    rule.problems.push_back("action \"" + std::string(value) + "\" is not supported and was skipped");
  }
}

SignOffRule parseRule(const platform::ProfileFile& file, const std::string& section, std::string ruleName) {
  SignOffRule rule;
  rule.ruleName = std::move(ruleName);
  if (std::optional<std::string> enable = file.value(section, "Enable"))
    rule.enabled = equalsIgnoringCase(*enable, "Yes");
  std::string combination = file.value(section, "ThisRuleCondition").value_or("All");
  if (equalsIgnoringCase(combination, "Any"))
    rule.everyCondition = false;
  else if (!equalsIgnoringCase(combination, "All"))
    rule.problems.push_back("condition \"ThisRuleCondition=" + combination + "\" is not supported");
  for (const auto& [number, value] : numberedValues(file, section, "Condition")) {
    if (std::optional<RuleCondition> condition = parseCondition(value))
      rule.conditions.push_back(std::move(*condition));
    else
      rule.problems.push_back("condition \"" + value + "\" is not supported");
  }
  for (const auto& [number, value] : numberedValues(file, section, "Action")) addAction(rule, value);
  return rule;
}

bool hasUnsupportedCondition(const SignOffRule& rule) {
  return std::any_of(rule.problems.begin(), rule.problems.end(),
                     [](const std::string& problem) { return problem.starts_with("condition"); });
}

std::vector<std::string> fieldTexts(std::string_view field, const Envelope& envelope,
                                    std::string_view message) {
  std::vector<std::string> texts = headerFieldValues(message, field);
  if (equalsIgnoringCase(field, "FROM")) {
    texts.push_back(envelope.sender);
    if (!envelope.authenticatedUser.empty()) texts.push_back(envelope.authenticatedUser);
  }
  return texts;
}

// The test for the approval marker: X-Sign does not contain something.
bool isMarkerTest(const RuleCondition& condition) {
  return condition.negated && equalsIgnoringCase(condition.field, "X-Sign");
}

bool holds(const RuleCondition& condition, const Envelope& envelope, std::string_view message) {
  std::vector<std::string> fieldValues = fieldTexts(condition.field, envelope, message);
  auto satisfies = [&](const std::string& text) {
    bool found = std::any_of(fieldValues.begin(), fieldValues.end(),
                             [&](const std::string& value) { return containsIgnoringCase(value, text); });
    return found != condition.negated;
  };
  return condition.everyText ? std::all_of(condition.texts.begin(), condition.texts.end(), satisfies)
                             : std::any_of(condition.texts.begin(), condition.texts.end(), satisfies);
}

// withoutMarker: as if the message carried no marker, so that the marker tests hold.
bool matches(const SignOffRule& rule, const Envelope& envelope, std::string_view message,
             bool withoutMarker = false) {
  if (!rule.enabled || hasUnsupportedCondition(rule)) return false;
  auto holdsHere = [&](const RuleCondition& condition) {
    return (withoutMarker && isMarkerTest(condition)) || holds(condition, envelope, message);
  };
  return rule.everyCondition ? std::all_of(rule.conditions.begin(), rule.conditions.end(), holdsHere)
                             : std::any_of(rule.conditions.begin(), rule.conditions.end(), holdsHere);
}

}  // namespace

RuleFile readSignOffRules(const std::string& path) {
  RuleFile result;
  platform::ProfileFile file;
  if (!file.load(path)) {
    result.error = "cannot read " + path + " (error " + std::to_string(platform::lastError()) + ")";
    return result;
  }
  for (const std::string& section : file.sectionNames()) {
    std::string ruleName = file.value(section, "RuleName").value_or("");
    if (ruleName.starts_with("Sign_")) result.rules.push_back(parseRule(file, section, std::move(ruleName)));
  }
  return result;
}

RuleOutcome applySignOffRules(const std::vector<SignOffRule>& rules, const Envelope& envelope,
                              std::string_view message) {
  RuleOutcome outcome;
  bool approvedBySupervisor = false;
  for (const SignOffRule& rule : rules) {
    if (!matches(rule, envelope, message)) {
      if (!matches(rule, envelope, message, true)) continue;
      // Only the marker lets this sender's message pass the rule.
      const bool bySupervisor =
          !envelope.authenticatedUser.empty() &&
          std::any_of(rule.copyTo.begin(), rule.copyTo.end(), [&](const std::string& supervisor) {
            return equalsIgnoringCase(supervisor, envelope.authenticatedUser);
          });
      approvedBySupervisor = approvedBySupervisor || bySupervisor;
      outcome.forgedApproval = outcome.forgedApproval || !bySupervisor;
      continue;
    }
    outcome.matchedRules.push_back(rule.ruleName);
    outcome.deleteMessage = outcome.deleteMessage || rule.deletesMessage;
    for (const std::string& address : rule.copyTo) {
      bool known = std::any_of(outcome.copyTo.begin(), outcome.copyTo.end(),
                               [&](const std::string& copy) { return equalsIgnoringCase(copy, address); });
      if (!known) outcome.copyTo.push_back(address);
    }
  }
  // One rule's supervisor approving is enough, as for a user with two supervisors.
  if (approvedBySupervisor) outcome.forgedApproval = false;
  return outcome;
}

}  // namespace mailsandbox
