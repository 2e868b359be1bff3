#pragma once
// The mailboxes under Users/<domain>/<mailbox>/ and their passwords.

#include <optional>
#include <string>
#include <string_view>

#include "layout.h"

namespace mailsandbox {

struct Mailbox {
  std::string domain;  // folder names as on disk
  std::string name;
  std::string address() const { return name + "@" + domain; }
};

class Accounts {
 public:
  explicit Accounts(Layout layout) : layout_(std::move(layout)) {}

  // A mailbox by its address, or by its bare name when exactly one domain has a mailbox of that
  // name (mail clients log in with either). Case is ignored.
  std::optional<Mailbox> find(std::string_view addressOrName) const;
  bool isLocalDomain(std::string_view domain) const;
  // The mailbox's password file holds the password on its first line; a mailbox without one
  // cannot log in.
  bool passwordMatches(const Mailbox& mailbox, std::string_view password) const;
  std::string directory(const Mailbox& mailbox) const {
    return layout_.mailboxDirectory(mailbox.domain, mailbox.name);
  }

  // Creates the folders of "name@domain" as needed and sets its password. False with a reason when
  // the address cannot name a mailbox folder or the files cannot be written.
  bool addMailbox(std::string_view address, std::string_view password, std::string& error) const;

 private:
  std::optional<std::string> domainFolder(std::string_view domain) const;

  Layout layout_;
};

}  // namespace mailsandbox
