#pragma once
// A stand-in root in a temporary directory with a few mailboxes, and the store objects over it.

#include <initializer_list>
#include <string>
#include <vector>

#include "accounts.h"
#include "delivery.h"
#include "layout.h"
#include "mail_store.h"
#include "temp_dir.h"

namespace mailsandbox::test {

class SandboxRoot {
 public:
  // Each mailbox gets the password "<mailbox>-pw".
  explicit SandboxRoot(std::initializer_list<const char*> addresses = {});

  const std::string& path() const { return dir_.path(); }
  std::string mailboxDirectory(const std::string& address) const;
  // The contents of the mailbox's message files, oldest first.
  std::vector<std::string> messagesOf(const std::string& address) const;
  std::vector<std::string> outboxFiles() const;
  void writeRules(const std::string& text) const;

  testsupport::TempDir dir_;
  Layout layout;
  Accounts accounts;
  MailStore store;
  Delivery delivery;
};

// A sign-off rule section as the rule tool writes it.
std::string signOffRule(int section, const std::string& ruleName, const std::vector<std::string>& users,
                        const std::string& supervisor);

}  // namespace mailsandbox::test
