#include "store/client_settings.h"

#include <algorithm>

#include "platform/profile.h"
#include "store/login_settings.h"

namespace {

constexpr char kTasks[] = "Tasks";
constexpr char kNotify[] = "Notify";
constexpr char kReturn[] = "Return";
// The longest reason kept; the rest of a longer one is not offered again.
constexpr std::size_t kReasonMax = 511;

int ReadCount(const char* section, const char* key, int byDefault) {
  return std::max(0, platform::getPrivateProfileInt(section, key, byDefault, kSignerIni));
}

std::string ReasonKey(int number) { return "Reason" + std::to_string(number); }

}  // namespace

tagClientSettings ReadClientSettings() {
  tagClientSettings settings;
  settings.oldAfterHours = ReadCount(kTasks, "OldAfterHours", settings.oldAfterHours);
  settings.confirmOver = ReadCount(kTasks, "ConfirmOver", settings.confirmOver);
  settings.notify = platform::getPrivateProfileInt(kNotify, "Enable", 1, kSignerIni) != 0;
  return settings;
}

std::vector<std::string> ReadLastReasons() {
  std::vector<std::string> reasons;
  for (int number = 1; number <= kLastReasonCount; ++number) {
    char value[kReasonMax + 1];
    platform::getPrivateProfileString(kReturn, ReasonKey(number).c_str(), "", value, sizeof value,
                                      kSignerIni);
    if (value[0] != '\0' && std::find(reasons.begin(), reasons.end(), value) == reasons.end())
      reasons.emplace_back(value);
  }
  return reasons;
}

void RememberReason(const std::string& reason) {
  // Cut at a character's start, so that a long reason is offered again as valid UTF-8.
  std::size_t length = std::min(reason.size(), kReasonMax);
  while (length < reason.size() && length > 0 &&
         (static_cast<unsigned char>(reason[length]) & 0xC0) == 0x80)
    --length;
  std::string line = reason.substr(0, length);
  for (char& c : line)
    if (c == '\r' || c == '\n' || c == '\0' || c == '\t') c = ' ';
  // The INI keeps no blanks at a value's ends.
  const std::size_t first = line.find_first_not_of(' ');
  if (first == std::string::npos) return;
  line = line.substr(first, line.find_last_not_of(' ') - first + 1);
  platform::ProfileFile::edit(kSignerIni, [&line](platform::ProfileFile& file) {
    std::vector<std::string> reasons{line};
    for (int number = 1; number <= kLastReasonCount; ++number) {
      const std::string value = file.value(kReturn, ReasonKey(number)).value_or("");
      if (!value.empty() && std::find(reasons.begin(), reasons.end(), value) == reasons.end())
        reasons.push_back(value);
    }
    for (int number = 1; number <= kLastReasonCount; ++number) {
      const std::size_t index = static_cast<std::size_t>(number - 1);
      if (index < reasons.size())
        file.setValue(kReturn, ReasonKey(number), reasons[index]);
      else
        file.removeKey(kReturn, ReasonKey(number));
    }
    return true;
  });
}
