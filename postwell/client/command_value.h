#pragma once
// Values that the sessions put into their command lines.

#include <string>
#include <string_view>

namespace postwell {

// A value with CR, LF or NUL would end its command line early and start another command.
inline bool isCommandValue(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

inline bool isCommandValue(const char* value) { return value == nullptr || isCommandValue(std::string_view(value)); }

// The value for an error text: CR, LF and NUL become blanks.
inline std::string forDisplay(std::string_view value) {
  std::string text(value);
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  return text;
}

}  // namespace postwell
