#include "delivery.h"

#include <algorithm>

#include "message_text.h"
#include "platform/local_time.h"
#include "text.h"

namespace mailsandbox {

namespace {

// The host name in the Received field of outbox messages, which belong to no local domain.
constexpr std::string_view kOutboxHost = "mailsandbox";

bool containsAddress(const std::vector<std::string>& addresses, std::string_view address) {
  return std::any_of(addresses.begin(), addresses.end(),
                     [&](const std::string& known) { return equalsIgnoringCase(known, address); });
}

std::string listed(const std::vector<std::string>& items, std::string_view separator = ", ") {
  std::string text;
  for (const std::string& item : items) text.append(text.empty() ? "" : separator).append(item);
  return text;
}

}  // namespace

struct Delivery::Target {
  Mailbox mailbox;
};

RecipientKind Delivery::classify(std::string_view address) const {
  std::size_t at = address.rfind('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == address.size()) return RecipientKind::kInvalid;
  if (!accounts_.isLocalDomain(address.substr(at + 1))) return RecipientKind::kRemote;
  return accounts_.find(address) ? RecipientKind::kLocal : RecipientKind::kUnknownMailbox;
}

bool Delivery::resolve(const std::string& address, std::vector<Target>& targets,
                       std::vector<std::string>& outboxRecipients, std::string& error) const {
  switch (classify(address)) {
    case RecipientKind::kLocal: {
      Mailbox mailbox = *accounts_.find(address);
      bool known = std::any_of(targets.begin(), targets.end(), [&](const Target& target) {
        return equalsIgnoringCase(target.mailbox.address(), mailbox.address());
      });
      if (!known) targets.push_back({std::move(mailbox)});
      return true;
    }
    case RecipientKind::kRemote:
      if (!containsAddress(outboxRecipients, address)) outboxRecipients.push_back(address);
      return true;
    case RecipientKind::kUnknownMailbox:
      error = "no mailbox " + address;
      return false;
    case RecipientKind::kInvalid:
      error = "\"" + address + "\" is no mail address";
      return false;
  }
  return false;
}

DeliveryReport Delivery::deliver(const Envelope& envelope, std::string_view message) {
  DeliveryReport report;
  RuleFile ruleFile = readSignOffRules(layout_.rulesFile());
  if (!ruleFile.error.empty()) report.warnings.push_back(ruleFile.error + "; no sign-off rule applied");
  for (const SignOffRule& rule : ruleFile.rules)
    for (const std::string& problem : rule.problems)
      report.warnings.push_back(rule.ruleName + ": " + problem);
  RuleOutcome outcome = applySignOffRules(ruleFile.rules, envelope, message);
  if (outcome.forgedApproval) {
    report.refusedForever = true;
    report.summary = "the approval marker of a supervised sender came from no supervisor of theirs" +
                     std::string(envelope.authenticatedUser.empty()
                                     ? " (not logged in)"
                                     : " (logged in as " + envelope.authenticatedUser + ")");
    return report;
  }

  std::vector<Target> targets;
  std::vector<std::string> outboxRecipients;
  std::string error;
  // The held copy keeps the envelope recipients, Bcc ones included, for after the approval.
  std::string recipientFields;
  if (outcome.deleteMessage)
    for (const std::string& address : envelope.recipients)
      if (address.find_first_of("\r\n") == std::string::npos)
        recipientFields += "X-Sign-Rcpt: " + address + "\r\n";
  for (const std::string& address : outcome.copyTo) {
    if (!resolve(address, targets, outboxRecipients, error)) {
      report.summary = "cannot copy to " + address + " for " + listed(outcome.matchedRules) + ": " + error;
      return report;
    }
  }
  if (!outcome.deleteMessage) {
    for (const std::string& address : envelope.recipients) {
      if (!resolve(address, targets, outboxRecipients, error)) {
        report.summary = error;
        return report;
      }
    }
  }

  report.queueId = store_.nextQueueId();
  std::tm now = platform::localTimeNow();
  std::vector<std::string> written;
  for (const Target& target : targets) {
    std::string directory = accounts_.directory(target.mailbox);
    std::string bytes = receivedField(target.mailbox.domain, report.queueId, target.mailbox.address(), now);
    const bool copy = containsAddress(outcome.copyTo, target.mailbox.address());
    bytes.append(copy ? withHeaderFieldsReplaced(message, "X-Sign-Rcpt", recipientFields)
                      : std::string(message));
    if (!store_.storeMessage(directory, report.queueId, bytes)) {
      for (const std::string& done : written) store_.removeMessage(done, report.queueId);
      report.summary = "cannot write " + report.queueId + ".msg into " + directory;
      return report;
    }
    written.push_back(directory);
  }
  if (!outboxRecipients.empty() &&
      !store_.storeInOutbox(report.queueId,
                            receivedField(kOutboxHost, report.queueId, "", now) + std::string(message),
                            envelope.sender, outboxRecipients)) {
    for (const std::string& done : written) store_.removeMessage(done, report.queueId);
    report.summary = "cannot write " + report.queueId + ".msg into the outbox";
    return report;
  }

  std::vector<std::string> parts;
  if (!outcome.matchedRules.empty()) parts.push_back("matched " + listed(outcome.matchedRules));
  if (!outcome.copyTo.empty()) parts.push_back("copied to " + listed(outcome.copyTo));
  if (outcome.deleteMessage) {
    parts.push_back("held, not delivered to " + listed(envelope.recipients));
  } else {
    std::vector<std::string> local;
    for (const Target& target : targets)
      if (!containsAddress(outcome.copyTo, target.mailbox.address()))
        local.push_back(target.mailbox.address());
    if (!local.empty()) parts.push_back("delivered to " + listed(local));
    if (!outboxRecipients.empty()) parts.push_back("kept in the outbox for " + listed(outboxRecipients));
  }
  report.accepted = true;
  report.summary = listed(parts, "; ");
  return report;
}

}  // namespace mailsandbox
