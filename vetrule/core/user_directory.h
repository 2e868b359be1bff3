#pragma once
// The mailboxes of the mail server: its Users directory holds one folder per mail domain, and each
// domain folder one folder per mailbox.

#include <string>
#include <string_view>
#include <vector>

namespace vetrule {

// The Users directory, relative to the current directory (the mail server's App directory).
inline constexpr const char* kUsersDirectory = "../Users";

// "mailbox@domain" for every mailbox folder, sorted by domain, then by mailbox (letters without
// case, then bytes), leaving out every address equal (with case) to one of exclusionList. Files are
// ignored; a missing directory gives no addresses. Folders whose names are not mailbox or domain
// names (see below) are not offered: a rule could not hold them as the same address.
std::vector<std::string> candidateAddresses(const std::string& usersDirectory,
                                            const std::vector<std::string>& exclusionList);

// A mailbox name: at most 64 bytes of letters, digits, bytes from 0x80 up and
// !#$%&'*+-/?^_`{}~, in parts joined by single dots. "|" and "=", allowed in mail addresses, are
// left out: they separate the fields and the key of a rule.
bool isMailboxName(std::string_view name);

// A domain name: at most 253 bytes of labels of letters, digits and inner hyphens, each of 1 to 63
// bytes, joined by single dots.
bool isDomainName(std::string_view name);

}  // namespace vetrule
