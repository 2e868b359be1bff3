#pragma once
// Where the stand-in keeps things under its root directory, laid out like the mail server's:
//
//   App/cfrules.dat                     the content-filter rules (written by vetrule)
//   App/mailsandbox.ini                 [Queue] LastId, the last queue number handed out
//   Users/<domain>/<mailbox>/           one folder per mailbox
//   Users/<domain>/<mailbox>/password   the mailbox's password (one line)
//   Users/<domain>/<mailbox>/<id>.msg   its messages, one file each
//   Outbox/<id>.msg, Outbox/<id>.env    mail for other domains, with its envelope

#include <string>

namespace mailsandbox {

struct Layout {
  std::string root;

  std::string appDirectory() const { return root + "/App"; }
  std::string rulesFile() const { return appDirectory() + "/cfrules.dat"; }
  std::string stateFile() const { return appDirectory() + "/mailsandbox.ini"; }
  std::string usersDirectory() const { return root + "/Users"; }
  std::string domainDirectory(const std::string& domain) const { return usersDirectory() + "/" + domain; }
  std::string mailboxDirectory(const std::string& domain, const std::string& mailbox) const {
    return domainDirectory(domain) + "/" + mailbox;
  }
  std::string outboxDirectory() const { return root + "/Outbox"; }
};

inline constexpr const char* kPasswordFileName = "password";
inline constexpr const char* kMessageExtension = ".msg";

}  // namespace mailsandbox
