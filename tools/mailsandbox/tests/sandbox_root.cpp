#include "sandbox_root.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "store_files.h"

namespace mailsandbox::test {

SandboxRoot::SandboxRoot(std::initializer_list<const char*> addresses)
    : layout{dir_.path()}, accounts(layout), store(layout), delivery(layout, accounts, store) {
  for (std::string address : addresses) {
    std::string error;
    EXPECT_TRUE(accounts.addMailbox(address, address.substr(0, address.find('@')) + "-pw", error)) << error;
  }
}

std::string SandboxRoot::mailboxDirectory(const std::string& address) const {
  std::size_t at = address.find('@');
  return layout.mailboxDirectory(address.substr(at + 1), address.substr(0, at));
}

std::vector<std::string> SandboxRoot::messagesOf(const std::string& address) const {
  std::vector<std::string> contents;
  for (const StoredMessage& message : store.listMessages(mailboxDirectory(address)))
    contents.push_back(testsupport::readFile(message.path));
  return contents;
}

std::vector<std::string> SandboxRoot::outboxFiles() const {
  return fileNamesEndingWith(layout.outboxDirectory(), "");
}

void SandboxRoot::writeRules(const std::string& text) const {
  ensureDirectory(layout.appDirectory());
  testsupport::writeFile(layout.rulesFile(), text);
}

std::string signOffRule(int section, const std::string& ruleName, const std::vector<std::string>& users,
                        const std::string& supervisor) {
  char header[32];
  std::snprintf(header, sizeof header, "[Rule%03d]\n", section);
  std::string text = header;
  text += "RuleName=" + ruleName + "\nEnable=Yes\nThisRuleCondition=All\nProcessQueue=REMOTE\n";
  text += "Condition01=FROM|contains|OR|";
  for (const std::string& user : users) text += user + "|";
  text += "\nCondition02=X-Sign|does not contain|AND|vandry!|\n";
  text += "Action01=copy to|\"" + supervisor + "\"\nAction02=delete|\n";
  return text;
}

}  // namespace mailsandbox::test
