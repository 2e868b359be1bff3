// Header fields whose values are written as encoded words when they are not plain ASCII.
#include <string>
#include <string_view>

#include "codec/base64.h"
#include "groundkit/groundkit.h"

namespace {

// The longest header line written, without its CR LF.
constexpr std::size_t kLineMax = 76;

std::string_view textOf(const char* text) {
  return text ? std::string_view(text) : std::string_view();
}

// Printable ASCII, blanks and tabs, and nothing a reader would take for an encoded word.
bool isPlain(std::string_view value) {
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 || byte > 0x7E) && byte != '\t') return false;
  }
  return value.find("=?") == std::string_view::npos;
}

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// How many of the bytes, at most capacity, make whole characters of a multi-byte charset; a
// sequence longer than a character can be is cut where the capacity ends.
std::size_t wholeCharacters(std::string_view bytes, std::size_t capacity) {
  if (bytes.size() <= capacity) return bytes.size();
  std::size_t length = capacity;
  while (length > 0 && capacity - length < 4 && isContinuationByte(bytes[length])) --length;
  return length == 0 || capacity - length >= 4 ? capacity : length;
}

}  // namespace

extern "C" {

int BSCFEM_EncodeHeaderField(const char* name, const char* value, const char* charset,
                             std::string& field) {
  const std::string_view fieldName = textOf(name);
  const std::string_view text = textOf(value);
  const std::string_view charsetName = textOf(charset);
  if (fieldName.empty() || charsetName.empty()) return 0;
  field.assign(fieldName).append(": ");
  if (isPlain(text)) {
    field.append(text).append("\r\n");
    return 1;
  }
  const std::string open = "=?" + std::string(charsetName) + "?B?";
  const std::size_t overhead = open.size() + 2;
  // Bytes of one word that fit the line: three for every four characters of base64.
  const auto bytesFitting = [overhead](std::size_t used) {
    return used + overhead >= kLineMax ? 0 : (kLineMax - used - overhead) / 4 * 3;
  };
  if (bytesFitting(1) < 4) return 0;  // a charset name too long for any word to fit a line
  std::size_t lineUsed = field.size();
  if (bytesFitting(lineUsed) < 4) {  // a long field name: the first word goes on the next line
    field.append("\r\n ");
    lineUsed = 1;
  }
  std::size_t at = 0;
  do {
    const std::size_t length = wholeCharacters(text.substr(at), bytesFitting(lineUsed));
    field.append(open).append(codec::base64OneLine(text.substr(at, length))).append("?=");
    at += length;
    if (at < text.size()) {
      field.append("\r\n ");
      lineUsed = 1;
    }
  } while (at < text.size());
  field.append("\r\n");
  return 1;
}

}  // extern "C"
