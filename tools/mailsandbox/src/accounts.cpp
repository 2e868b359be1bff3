#include "accounts.h"

#include "platform/whole_file.h"
#include "store_files.h"
#include "text.h"

namespace mailsandbox {

namespace {

std::optional<std::string> folderNamed(const std::string& directory, std::string_view name) {
  for (std::string& folder : subdirectoryNames(directory))
    if (equalsIgnoringCase(folder, name)) return std::move(folder);
  return std::nullopt;
}

bool isUsableFolderName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == '@' || static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
  return true;
}

}  // namespace

std::optional<std::string> Accounts::domainFolder(std::string_view domain) const {
  return folderNamed(layout_.usersDirectory(), domain);
}

std::optional<Mailbox> Accounts::find(std::string_view addressOrName) const {
  std::size_t at = addressOrName.rfind('@');
  if (at != std::string_view::npos) {
    std::optional<std::string> domain = domainFolder(addressOrName.substr(at + 1));
    if (!domain) return std::nullopt;
    std::optional<std::string> name =
        folderNamed(layout_.domainDirectory(*domain), addressOrName.substr(0, at));
    if (!name) return std::nullopt;
    return Mailbox{*domain, *name};
  }
  std::optional<Mailbox> found;
  for (const std::string& domain : subdirectoryNames(layout_.usersDirectory())) {
    if (std::optional<std::string> name = folderNamed(layout_.domainDirectory(domain), addressOrName)) {
      if (found) return std::nullopt;  // ambiguous
      found = Mailbox{domain, *name};
    }
  }
  return found;
}

bool Accounts::isLocalDomain(std::string_view domain) const { return domainFolder(domain).has_value(); }

bool Accounts::passwordMatches(const Mailbox& mailbox, std::string_view password) const {
  std::string stored;
  if (!platform::readWholeFile(directory(mailbox) + "/" + kPasswordFileName, stored)) return false;
  std::string_view text = stored;
  std::size_t lineEnd = text.find('\n');
  std::string_view firstLine =
      lineEnd == std::string_view::npos ? text : withoutLineEnd(text.substr(0, lineEnd + 1));
  return firstLine == password;
}

bool Accounts::addMailbox(std::string_view address, std::string_view password, std::string& error) const {
  std::size_t at = address.rfind('@');
  std::string_view name = address.substr(0, at);
  std::string_view domain = at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
  if (!isUsableFolderName(name) || !isUsableFolderName(domain)) {
    error.assign("\"").append(address).append("\" is no address of the form mailbox@domain");
    return false;
  }
  if (password.find_first_of("\r\n") != std::string_view::npos) {
    error = "a password cannot hold a line break";
    return false;
  }
  Mailbox mailbox{domainFolder(domain).value_or(std::string(domain)), std::string(name)};
  if (std::optional<std::string> existing = folderNamed(layout_.domainDirectory(mailbox.domain), name))
    mailbox.name = *existing;
  std::string folder = directory(mailbox);
  if (!ensureDirectory(layout_.root) || !ensureDirectory(layout_.usersDirectory()) ||
      !ensureDirectory(layout_.domainDirectory(mailbox.domain)) || !ensureDirectory(folder) ||
      !writeFileWhole(folder + "/" + kPasswordFileName, std::string(password) + "\n", true)) {
    error = "cannot create " + folder + " or its password file";
    return false;
  }
  return true;
}

}  // namespace mailsandbox
