#include "core/user_directory.h"

#include <algorithm>

#include "platform/files.h"

namespace vetrule {

namespace {

std::vector<std::string> subdirectories(const std::string& directory) {
  std::vector<std::string> names;
  for (platform::DirEntry& entry : platform::findFiles(directory + "/*.*"))
    if (entry.isDirectory && entry.name != "." && entry.name != "..")
      names.push_back(std::move(entry.name));
  return names;
}

// Letters compared without case, then the bytes, so that "ann" comes before "Bob" and the order is
// the same on every file system.
std::string caseFolded(std::string name) {
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return name;
}

bool listedBefore(const std::string& a, const std::string& b) {
  const std::string foldedA = caseFolded(a);
  const std::string foldedB = caseFolded(b);
  return foldedA != foldedB ? foldedA < foldedB : a < b;
}

std::vector<std::string> sortedSubdirectories(const std::string& directory) {
  std::vector<std::string> names = subdirectories(directory);
  std::sort(names.begin(), names.end(), listedBefore);
  return names;
}

bool isMailboxCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         static_cast<unsigned char>(c) >= 0x80 ||
         std::string_view("!#$%&'*+-/?^_`{}~").find(c) != std::string_view::npos;
}

bool isDomainCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// Parts joined by single dots, none empty, each part as part() says.
template <typename Part>
bool dottedParts(std::string_view name, Part part) {
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = name.find('.', start);
    std::string_view piece = name.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (piece.empty() || !part(piece)) return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

}  // namespace

bool isMailboxName(std::string_view name) {
  return name.size() <= 64 && dottedParts(name, [](std::string_view part) {
           return std::all_of(part.begin(), part.end(), isMailboxCharacter);
         });
}

bool isDomainName(std::string_view name) {
  return name.size() <= 253 && dottedParts(name, [](std::string_view label) {
           return label.size() <= 63 && label.front() != '-' && label.back() != '-' &&
                  std::all_of(label.begin(), label.end(), isDomainCharacter);
         });
}

std::vector<std::string> candidateAddresses(const std::string& usersDirectory,
                                            const std::vector<std::string>& exclusionList) {
  std::vector<std::string> addresses;
  for (const std::string& domain : sortedSubdirectories(usersDirectory)) {
    if (!isDomainName(domain)) continue;
    for (const std::string& mailbox : sortedSubdirectories(usersDirectory + "/" + domain)) {
      if (!isMailboxName(mailbox)) continue;
      std::string address = mailbox + "@" + domain;
      if (std::find(exclusionList.begin(), exclusionList.end(), address) == exclusionList.end())
        addresses.push_back(std::move(address));
    }
  }
  return addresses;
}

}  // namespace vetrule
