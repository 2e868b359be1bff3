#pragma once
// What happens to a message once SMTP has taken it: the sign-off rules are read afresh (the rule
// tool may rewrite them at any time) and applied; a matched rule's copies go to their mailboxes
// with a Received field that names the message's queue file, and a deleting rule keeps the message
// from its recipients. Other mail goes to the local mailboxes, and mail for other domains to the
// outbox. Every stored message is the message as received with one Received field on top.

#include <string>
#include <string_view>
#include <vector>

#include "accounts.h"
#include "layout.h"
#include "mail_store.h"
#include "sign_off_rules.h"

namespace mailsandbox {

enum class RecipientKind {
  kLocal,           // a mailbox of a local domain
  kRemote,          // another domain: kept in the outbox
  kUnknownMailbox,  // a local domain without that mailbox
  kInvalid,         // not of the form mailbox@domain
};

struct DeliveryReport {
  bool accepted = false;
  bool refusedForever = false;  // the approval marker did not bind: a 5.7.1 refusal
  std::string queueId;
  // One line saying what became of the message, or why it could not be accepted.
  std::string summary;
  // Problems of the rule file worth telling the person who runs the stand-in.
  std::vector<std::string> warnings;
};

class Delivery {
 public:
  Delivery(Layout layout, const Accounts& accounts, MailStore& store)
      : layout_(std::move(layout)), accounts_(accounts), store_(store) {}

  RecipientKind classify(std::string_view address) const;
  // Stores everything or nothing: when one file cannot be written, those already written are
  // removed again and the message is not accepted.
  DeliveryReport deliver(const Envelope& envelope, std::string_view message);

 private:
  struct Target;
  bool resolve(const std::string& address, std::vector<Target>& targets,
               std::vector<std::string>& outboxRecipients, std::string& error) const;

  Layout layout_;
  const Accounts& accounts_;
  MailStore& store_;
};

}  // namespace mailsandbox
