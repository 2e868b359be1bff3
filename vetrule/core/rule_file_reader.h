#pragma once
// Reading the content-filter rule file and sorting its sections into sign-off rules and others.

#include <string>
#include <string_view>

#include "core/rule_section.h"

namespace vetrule {

// The rule file, relative to the current directory (vetrule runs in the mail server's App folder).
inline constexpr const char* kRuleFilePath = "./cfrules.dat";

// Cause codes of a failed open, as the administrator sees them in the error message.
namespace cause {
inline constexpr int kGeneric = 1;
inline constexpr int kFileNotFound = 2;
inline constexpr int kBadPath = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kSharingViolation = 11;
inline constexpr int kLockViolation = 12;
inline constexpr int kDiskFull = 13;
}  // namespace cause

// Appends the sections of the file to the lists. Returns 0, or the cause code when the file cannot
// be opened or read (the lists then stay as they were).
int loadRuleFile(const std::string& path, RuleLists& lists);

// Appends the sections of text, read line by line, to the lists.
void parseRuleText(std::string_view text, RuleLists& lists);

// The cause code for a Windows system error number of the platform layer.
int openFailureCause(unsigned long systemError);

// The message shown when the rule file cannot be opened.
std::string openFailureMessage(const std::string& path, int cause);

}  // namespace vetrule
