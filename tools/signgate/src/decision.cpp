#include "decision.h"

#include <algorithm>

#include "mail_address.h"

namespace signgate {

namespace {

void addOnce(std::vector<const SignOffRule*>& into, const std::vector<const SignOffRule*>& rules) {
  for (const SignOffRule* rule : rules)
    if (std::find(into.begin(), into.end(), rule) == into.end()) into.push_back(rule);
}

// The rules whose users the login names.
std::vector<const SignOffRule*> rulesOfLogin(const GateRules& rules, const std::string& login,
                                             const std::string& loginDomain) {
  std::vector<const SignOffRule*> found;
  if (login.empty()) return found;
  for (const SignOffRule& rule : rules.rules())
    if (std::any_of(rule.users.begin(), rule.users.end(),
                    [&](const std::string& user) { return loginNames(login, user, loginDomain); }))
      found.push_back(&rule);
  return found;
}

}  // namespace

bool loginNames(const std::string& login, const std::string& address, const std::string& loginDomain) {
  const std::string canonical = canonicalAddress(login);
  if (canonical.empty() || address.empty()) return false;
  if (canonical.find('@') != std::string::npos) return canonical == address;
  if (!loginDomain.empty()) return canonical + "@" + canonicalAddress(loginDomain) == address;
  return address.size() > canonical.size() && address.starts_with(canonical) &&
         address[canonical.size()] == '@';
}

Decision decide(const GateRules& rules, const MessageFacts& facts, const std::string& loginDomain) {
  Decision decision;
  // The rules of the message's author: its envelope sender and its From addresses.
  std::vector<const SignOffRule*> authorRules;
  std::vector<std::string> authors{canonicalAddress(facts.envelopeSender)};
  authors.insert(authors.end(), facts.fromAddresses.begin(), facts.fromAddresses.end());
  for (const std::string& author : authors) {
    const std::vector<const SignOffRule*> found = rules.rulesOfUser(author);
    if (!found.empty() && decision.user.empty()) decision.user = author;
    addOnce(authorRules, found);
  }
  std::vector<const SignOffRule*> matched = authorRules;
  const std::vector<const SignOffRule*> loginRules = rulesOfLogin(rules, facts.authLogin, loginDomain);
  if (!loginRules.empty() && decision.user.empty()) decision.user = canonicalAddress(facts.authLogin);
  addOnce(matched, loginRules);
  if (matched.empty()) return decision;

  if (!facts.hasMarker) {
    decision.verdict = Verdict::kHold;
    for (const SignOffRule* rule : matched)
      if (std::find(decision.supervisors.begin(), decision.supervisors.end(), rule->supervisor) ==
          decision.supervisors.end())
        decision.supervisors.push_back(rule->supervisor);
    return decision;
  }
  for (const SignOffRule* rule : authorRules) {
    if (loginNames(facts.authLogin, rule->supervisor, loginDomain)) {
      decision.verdict = Verdict::kApproved;
      decision.approvedBy = rule->supervisor;
      return decision;
    }
  }
  decision.verdict = Verdict::kRefused;
  decision.reason = facts.authLogin.empty() ? "sent without SMTP AUTH"
                                            : "the login is not a supervisor of the sender";
  return decision;
}

}  // namespace signgate
