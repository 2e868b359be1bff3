#pragma once
// The sign-off rules of the content-filter rule file, applied to submitted mail the way the mail
// server applies them. A sign-off rule is a section whose RuleName begins with "Sign_"; every other
// section is left alone. A rule reads, for example:
//
//   Enable=Yes
//   ThisRuleCondition=All                        (or Any)
//   Condition01=FROM|contains|OR|ann@x.com|bob@x.com|
//   Condition02=X-Sign|does not contain|AND|vandry!|
//   Action01=copy to|"boss@x.com"
//   Action02=delete|
//
// A condition names a header field, "contains" or "does not contain", and whether any (OR) or
// every (AND) listed text must satisfy it; texts are compared ignoring case. The field FROM stands
// for the sender: the header From, the envelope sender (MAIL FROM) and the SMTP AUTH login all
// count, so that none alone lets a listed user's mail pass. A header field that is missing contains
// nothing.
//
// The approval marker binds: a message whose sender a rule lists but that the rule lets pass only
// because of its X-Sign field is approved only when the login is one the rule copies to (the
// supervisor); otherwise the marker was written or copied by someone else and the message is
// refused.

#include <string>
#include <string_view>
#include <vector>

namespace mailsandbox {

struct Envelope {
  std::string sender;
  std::vector<std::string> recipients;
  std::string authenticatedUser{};  // the logged-in mailbox's address; empty without AUTH
};

struct RuleCondition {
  std::string field;
  bool negated = false;    // "does not contain"
  bool everyText = false;  // AND rather than OR
  std::vector<std::string> texts;
};

struct SignOffRule {
  std::string ruleName;
  bool enabled = true;         // off only when Enable says something other than "Yes"
  bool everyCondition = true;  // ThisRuleCondition "All" rather than "Any"
  std::vector<RuleCondition> conditions;
  std::vector<std::string> copyTo;
  bool deletesMessage = false;
  // Conditions and actions this program does not know. A rule with an unknown condition never
  // matches; unknown actions are skipped.
  std::vector<std::string> problems;
};

struct RuleFile {
  std::vector<SignOffRule> rules;  // in file order
  std::string error;               // set when the file exists but cannot be read
};

// A missing file holds no rules.
RuleFile readSignOffRules(const std::string& path);

struct RuleOutcome {
  std::vector<std::string> matchedRules;
  std::vector<std::string> copyTo;  // every matched rule's copies, each address once
  bool deleteMessage = false;       // some matched rule deletes the message
  // The marker of a listed sender's message that no rule's supervisor sent: refuse the message.
  bool forgedApproval = false;
};

RuleOutcome applySignOffRules(const std::vector<SignOffRule>& rules, const Envelope& envelope,
                              std::string_view message);

}  // namespace mailsandbox
