#pragma once
// The sign-off rules of a rule file, as the gate applies them: each names a supervisor and the
// users whose outgoing mail the supervisor signs off. The file is read through vetrule's own rule
// code; every other rule in it is the mail server's business and is ignored.

#include <string>
#include <string_view>
#include <vector>

namespace signgate {

struct SignOffRule {
  std::string ruleName;
  std::string supervisor;          // canonical address
  std::vector<std::string> users;  // canonical addresses
};

class GateRules {
 public:
  // Reads the rules from the text of a rule file. False, with the reason in error, when a sign-off
  // rule is not whole (a file cut short, a hand edit gone wrong): the gate then holds nothing back
  // by mistake and passes nothing by mistake, it refuses to decide.
  bool parse(std::string_view text, std::string& error);

  const std::vector<SignOffRule>& rules() const { return rules_; }
  // The enabled rules that name the address among their users.
  std::vector<const SignOffRule*> rulesOfUser(const std::string& address) const;
  // True when the address is the supervisor of some rule.
  bool isSupervisor(const std::string& address) const;

 private:
  std::vector<SignOffRule> rules_;
};

}  // namespace signgate
