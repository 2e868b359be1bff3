#include "core/rule_file_reader.h"

#include <optional>

#include "core/sign_off_rule.h"
#include "platform/last_error.h"
#include "platform/whole_file.h"

namespace vetrule {

namespace {

struct SectionBeingRead {
  RuleSection section;
  bool isSignOff = false;
};

void appendTo(RuleLists& lists, SectionBeingRead& read) {
  (read.isSignOff ? lists.signOffRules : lists.otherRules).push_back(std::move(read.section));
}

// The line at pos without its line end; pos moves past the line end.
std::string_view nextLine(std::string_view text, std::size_t& pos) {
  std::size_t nl = text.find('\n', pos);
  std::size_t end = nl == std::string_view::npos ? text.size() : nl;
  std::string_view line = text.substr(pos, end - pos);
  pos = nl == std::string_view::npos ? text.size() : nl + 1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

void parseRuleText(std::string_view text, RuleLists& lists) {
  std::optional<SectionBeingRead> current;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::string_view line = nextLine(text, pos);
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (current) appendTo(lists, *current);
      current.emplace();
      current->section.headerText = line;
      continue;
    }
    if (!current) continue;  // lines before the first section belong to no rule
    std::size_t eq = line.find('=');
    std::string key(line.substr(0, eq));
    std::string value(eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1));
    if (key == "RuleName") current->isSignOff = isSignOffRuleName(value);
    current->section.keyMap.set(std::move(key), std::move(value));
  }
  if (current) appendTo(lists, *current);
}

int loadRuleFile(const std::string& path, RuleLists& lists) {
  std::string text;
  if (!platform::readWholeFile(path, text)) return openFailureCause(platform::lastError());
  parseRuleText(text, lists);
  return 0;
}

int openFailureCause(unsigned long systemError) {
  switch (systemError) {
    case platform::err::kFileNotFound: return cause::kFileNotFound;
    case platform::err::kPathNotFound:
    case 123:  // invalid name
    case 206:  // name too long
      return cause::kBadPath;
    case 4: return cause::kTooManyOpenFiles;
    case platform::err::kAccessDenied: return cause::kAccessDenied;
    case platform::err::kSharingViolation: return cause::kSharingViolation;
    case 33: return cause::kLockViolation;
    case 112: return cause::kDiskFull;
    default: return cause::kGeneric;
  }
}

std::string openFailureMessage(const std::string& path, int cause) {
  return "打开配置文件" + path + "失败.(error code:" + std::to_string(cause) +
         "),请把这个程序复制到MDaemon的App目录下，比如c:\\MDaemon\\App";
}

}  // namespace vetrule
