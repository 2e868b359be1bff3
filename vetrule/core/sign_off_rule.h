#pragma once
// Sign-off rules: one content-filter rule per supervisor that makes the mail server hold every
// outgoing message of the supervisor's users that lacks the approval marker in X-Sign, copy it to
// the supervisor and delete it from the queue.

#include <cstddef>
#include <list>
#include <string>
#include <string_view>

#include "core/rule_section.h"

namespace vetrule {

struct SupervisorRecord {
  std::string supervisorAddress;
  std::list<std::string> userList;  // most recently added first
  std::string ruleName;             // set on save
};

// True when a RuleName value marks a sign-off rule: it begins with "Sign_", with that case.
bool isSignOffRuleName(std::string_view ruleName);

// "Sign_<position>_<supervisor>", position being the supervisor's place in the supervisor list.
std::string signOffRuleName(std::size_t position, const std::string& supervisorAddress);

// The users are the Condition01 tokens that hold an "@" after their first character, each put at
// the front (so they come out in reverse order); the supervisor is Action01 after its first "|"
// without double quotes. The rule name stays empty.
SupervisorRecord decodeSignOffRule(const RuleSection& section);

// The eight keys of a sign-off rule for a record whose rule name is set.
RuleSection buildSignOffRule(const SupervisorRecord& record);

// True when an address can stand in a sign-off rule and be read back as the same address: it holds
// an "@" after its first character (Condition01 takes only such tokens as users), and neither the
// field separator "|", a double quote (Action01 quotes the supervisor, and decoding drops quotes)
// nor a control character.
bool isRuleAddress(std::string_view address);

}  // namespace vetrule
