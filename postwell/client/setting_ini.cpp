#include "postwell/setting_ini.h"

#include <cstdlib>
#include <strings.h>

#include "platform/profile.h"

namespace {
constexpr std::size_t kValueBufferSize = 4096;
// The formatter behind a string write keeps at most this many characters of the value.
constexpr std::size_t kFormattedValueMax = 1023;
}  // namespace

CSetting_Ini::CSetting_Ini() = default;
CSetting_Ini::~CSetting_Ini() = default;

void CSetting_Ini::GetAttribute(const char* section, const char* key, const char* file,
                                std::string& value) {
  value = platform::getPrivateProfileString(section, key, "", file);
  if (value.size() > kValueBufferSize - 1) value.resize(kValueBufferSize - 1);
}

void CSetting_Ini::GetAttribute(const char* section, const char* key, const char* file, int& value) {
  std::string text;
  GetAttribute(section, key, file, text);
  value = std::atoi(text.c_str());
}

int CSetting_Ini::PutAttribute(const char* section, const char* key, const char* file,
                               std::string value) {
  if (value.size() >= kValueBufferSize) return 0;
  if (value.size() > kFormattedValueMax) value.resize(kFormattedValueMax);
  return platform::writePrivateProfileString(section, key, value.c_str(), file) ? 1 : 0;
}

int CSetting_Ini::PutAttribute(const char* section, const char* key, const char* file, int value) {
  return PutAttribute(section, key, file, std::to_string(value));
}

int CSetting_Ini::CompareSettingItem(std::string first, std::string second, int caseSensitive) {
  if (caseSensitive == 1) return first == second ? 1 : 0;
  return ::strcasecmp(first.c_str(), second.c_str()) == 0 ? 1 : 0;
}
