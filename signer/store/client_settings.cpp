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
  std::string line = reason.substr(0, kReasonMax);
  for (char& c : line)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  if (line.find_first_not_of(' ') == std::string::npos) return;
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
