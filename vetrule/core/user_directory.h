#pragma once
// The mailboxes of the mail server: its Users directory holds one folder per mail domain, and each
// domain folder one folder per mailbox.

#include <string>
#include <vector>

namespace vetrule {

// The Users directory, relative to the current directory (the mail server's App directory).
inline constexpr const char* kUsersDirectory = "../Users";

// "mailbox@domain" for every mailbox folder, grouped by domain, in the order the file system lists
// them, leaving out every address equal (with case) to one of exclusionList. Files are ignored; a
// missing directory gives no addresses.
std::vector<std::string> candidateAddresses(const std::string& usersDirectory,
                                            const std::vector<std::string>& exclusionList);

}  // namespace vetrule
