#include "base64.h"

namespace mailsandbox {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::optional<std::string> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t group = 0; group < text.size(); group += 4) {
    unsigned bits = 0;
    int padding = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      char c = text[group + i];
      std::size_t value = kAlphabet.find(c);
      bool lastGroup = group + 4 == text.size();
      if (c == '=' && lastGroup && i >= 2) {
        ++padding;
        value = 0;
      } else if (value == std::string_view::npos || padding > 0) {
        return std::nullopt;
      }
      bits = bits << 6 | static_cast<unsigned>(value);
    }
    bytes.push_back(static_cast<char>(bits >> 16));
    if (padding < 2) bytes.push_back(static_cast<char>(bits >> 8 & 0xff));
    if (padding < 1) bytes.push_back(static_cast<char>(bits & 0xff));
  }
  return bytes;
}

}  // namespace mailsandbox
