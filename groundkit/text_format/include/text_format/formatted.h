#pragma once

#include <cstdio>
#include <string>

namespace text_format {

// printf-style formatting into a string of any length; empty when the format cannot be used.
template <typename... Args>
std::string formatted(const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, format, args...);
  return text;
}

}  // namespace text_format
