// Lays out a demo mail-server root for the stand-in: a domain with a supervisor and two users, and
// a sign-off rule written by the same code as vetrule.
#include <cstdio>
#include <string>
#include <vector>

#include "accounts.h"
#include "core/rule_file_writer.h"
#include "core/rule_section.h"
#include "core/sign_off_rule.h"
#include "platform/files.h"

namespace {

constexpr char kDomain[] = "demo.test";
constexpr char kSupervisor[] = "boss";
const std::vector<std::string> kSupervisedUsers = {"ann", "cid"};
const std::vector<std::string> kOtherUsers = {"bob"};

std::string address(const std::string& mailbox) { return mailbox + "@" + kDomain; }
// The demo's passwords are written on the screen by the demo script; they protect nothing.
std::string password(const std::string& mailbox) { return mailbox + "-pw"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s ROOT\n  creates a demo mail-server root for mailsandbox\n", argv[0]);
    return 2;
  }
  mailsandbox::Layout layout{argv[1]};
  platform::createDirectory(layout.root);
  platform::createDirectory(layout.appDirectory());

  mailsandbox::Accounts accounts(layout);
  std::vector<std::string> everyone = kSupervisedUsers;
  everyone.push_back(kSupervisor);
  everyone.insert(everyone.end(), kOtherUsers.begin(), kOtherUsers.end());
  for (const std::string& mailbox : everyone) {
    std::string error;
    if (!accounts.addMailbox(address(mailbox), password(mailbox), error)) {
      std::fprintf(stderr, "cannot create %s: %s\n", address(mailbox).c_str(), error.c_str());
      return 1;
    }
  }

  vetrule::SupervisorRecord boss;
  boss.supervisorAddress = address(kSupervisor);
  for (const std::string& user : kSupervisedUsers) boss.userList.push_front(address(user));
  vetrule::RuleLists lists;
  std::vector<vetrule::SupervisorListEntry> supervisors{{boss.supervisorAddress, &boss}};
  if (!vetrule::saveRules(supervisors, lists, layout.rulesFile())) {
    std::fprintf(stderr, "cannot write %s\n", layout.rulesFile().c_str());
    return 1;
  }
  std::printf("demo root %s: supervisor %s (password %s) signs off the mail of", layout.root.c_str(),
              address(kSupervisor).c_str(), password(kSupervisor).c_str());
  for (const std::string& user : kSupervisedUsers) std::printf(" %s", address(user).c_str());
  std::printf("\n");
  return 0;
}
