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

}  // namespace

std::vector<std::string> candidateAddresses(const std::string& usersDirectory,
                                            const std::vector<std::string>& exclusionList) {
  std::vector<std::string> addresses;
  for (const std::string& domain : subdirectories(usersDirectory)) {
    for (const std::string& mailbox : subdirectories(usersDirectory + "/" + domain)) {
      std::string address = mailbox + "@" + domain;
      if (std::find(exclusionList.begin(), exclusionList.end(), address) == exclusionList.end())
        addresses.push_back(std::move(address));
    }
  }
  return addresses;
}

}  // namespace vetrule
