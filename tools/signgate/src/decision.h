#pragma once
// What the gate does with one message, from who sent it and whether it carries the approval
// marker. The message belongs to a supervised user when the SMTP AUTH login, the envelope sender or
// an address of its From field is one of a rule's users. Such a message without the marker is held
// for the rule's supervisors. With the marker it passes only when the login is a supervisor of a
// rule that the envelope sender or the From field matched: anything else that shows the marker
// (written by the user, copied from an approved message, sent without logging in) is refused.

#include <string>
#include <vector>

#include "gate_rules.h"

namespace signgate {

struct MessageFacts {
  std::string authLogin;                   // empty when the client did not log in
  std::string envelopeSender;              // as given to MAIL FROM
  std::vector<std::string> fromAddresses;  // canonical addresses of the From fields
  bool hasMarker = false;                  // an X-Sign field contains "vandry!"
};

enum class Verdict { kNotSupervised, kHold, kApproved, kRefused };

struct Decision {
  Verdict verdict = Verdict::kNotSupervised;
  std::string user;                      // the supervised address that matched
  std::vector<std::string> supervisors;  // kHold: who gets the copy, each once
  std::string approvedBy;                // kApproved: the supervisor who logged in
  std::string reason;                    // kRefused: for the reply and the log
};

// How a login names an address: a login with "@" is the address itself; a bare login is the local
// part at loginDomain, or, without a login domain, the local part at any domain.
bool loginNames(const std::string& login, const std::string& address, const std::string& loginDomain);

Decision decide(const GateRules& rules, const MessageFacts& facts, const std::string& loginDomain);

}  // namespace signgate
