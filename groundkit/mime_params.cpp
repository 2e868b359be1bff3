// Header parameters, encoded words and part file names.

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "codec/base64.h"
#include "codec/quoted_printable.h"
#include "internal/mime_text.h"
#include "platform/last_error.h"
#include "platform/native_path.h"
#include "platform/new_file.h"

namespace groundkit::mime {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string decodeBase64Text(std::string_view text) {
  std::string out;
  codec::decodeBase64Lenient(text, codec::AtPadding::kSkip, out);
  return out;
}

std::string decodeQText(std::string_view text) {
  std::string out;
  codec::decodeQuotedPrintable(text, codec::kHeaderWordRules, out);
  return out;
}

// "%XX" sequences decoded; anything else kept.
std::string percentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && codec::hexDigit(text[i + 1]) >= 0 &&
        codec::hexDigit(text[i + 2]) >= 0) {
      out.push_back(
          static_cast<char>(codec::hexDigit(text[i + 1]) << 4 | codec::hexDigit(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// An RFC 2231 extended value "charset'language'text": the charset and language
// dropped.
std::string extendedValue(std::string_view value, bool first) {
  if (first) {
    std::size_t quote = value.find('\'');
    std::size_t second = quote == std::string_view::npos ? quote : value.find('\'', quote + 1);
    if (second != std::string_view::npos) value.remove_prefix(second + 1);
  }
  return percentDecode(value);
}

// Attribute (lower case) to value, the first occurrence of each attribute kept.
std::map<std::string, std::string> splitParameters(std::string_view text) {
  std::map<std::string, std::string> parameters;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (isBlank(text[i]) || text[i] == ';')) ++i;
    std::size_t nameStart = i;
    while (i < text.size() && text[i] != '=' && text[i] != ';') ++i;
    std::string name = lowerCase(trimBlanks(text.substr(nameStart, i - nameStart)));
    std::string value;
    if (i < text.size() && text[i] == '=') {
      ++i;
      while (i < text.size() && isBlank(text[i])) ++i;
      if (i < text.size() && text[i] == '"') {
        for (++i; i < text.size() && text[i] != '"'; ++i) {
          if (text[i] == '\\' && i + 1 < text.size()) ++i;
          value.push_back(text[i]);
        }
        if (i < text.size()) ++i;  // the closing quote
        while (i < text.size() && text[i] != ';') ++i;
      } else {
        std::size_t valueStart = i;
        while (i < text.size() && text[i] != ';') ++i;
        value = std::string(trimBlanks(text.substr(valueStart, i - valueStart)));
      }
    }
    if (!name.empty()) parameters.emplace(std::move(name), std::move(value));
  }
  return parameters;
}

bool isPrintableAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

bool isAttributeChar(unsigned char c) {
  return c > 0x20 && c < 0x7F && !std::strchr("*'%()<>@,;:\\\"/[]?=", c);
}

constexpr std::size_t kLongestFileName = 200;

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string lowerCase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), lower);
  return out;
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool hasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string decodeEncodedWords(std::string_view text) {
  std::string out;
  std::size_t from = 0;
  bool lastWasWord = false;
  while (from < text.size()) {
    std::size_t start = text.find("=?", from);
    std::size_t charsetEnd = start == std::string_view::npos ? start : text.find('?', start + 2);
    std::size_t encodingEnd =
        charsetEnd == std::string_view::npos ? charsetEnd : text.find('?', charsetEnd + 1);
    std::size_t end =
        encodingEnd == std::string_view::npos ? encodingEnd : text.find("?=", encodingEnd + 1);
    if (end == std::string_view::npos) break;
    std::string_view encoding = text.substr(charsetEnd + 1, encodingEnd - charsetEnd - 1);
    std::string_view encoded = text.substr(encodingEnd + 1, end - encodingEnd - 1);
    std::string_view between = text.substr(from, start - from);
    bool base64 = equalsNoCase(encoding, "B");
    if (!base64 && !equalsNoCase(encoding, "Q")) {
      out.append(text.substr(from, end + 2 - from));
      lastWasWord = false;
    } else {
      if (!(lastWasWord && trimBlanks(between).empty())) out.append(between);
      out.append(base64 ? decodeBase64Text(encoded) : decodeQText(encoded));
      lastWasWord = true;
    }
    from = end + 2;
  }
  out.append(text.substr(std::min(from, text.size())));
  return out;
}

std::optional<std::string> parameterValue(std::string_view parameters, std::string_view name) {
  std::map<std::string, std::string> all = splitParameters(parameters);
  std::string key = lowerCase(name);
  if (auto extended = all.find(key + "*"); extended != all.end())
    return extendedValue(extended->second, true);
  std::string joined;
  bool continued = false;
  for (int section = 0; section < 1000; ++section) {
    std::string sectionKey = key + "*" + std::to_string(section);
    if (auto encoded = all.find(sectionKey + "*"); encoded != all.end()) {
      joined += extendedValue(encoded->second, section == 0);
    } else if (auto plain = all.find(sectionKey); plain != all.end()) {
      joined += plain->second;
    } else {
      break;
    }
    continued = true;
  }
  if (continued) return joined;
  if (auto plain = all.find(key); plain != all.end()) return decodeEncodedWords(plain->second);
  return std::nullopt;
}

std::string formatParameter(std::string_view name, std::string_view value,
                            std::string_view charset) {
  std::string out(name);
  if (isPrintableAscii(value)) {
    out += "=\"";
    for (char c : value) {
      if (c == '"' || c == '\\') out.push_back('\\');
      out.push_back(c);
    }
    out += "\"";
    return out;
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "*=";
  out += charset;
  out += "''";
  for (unsigned char c : value) {
    if (isAttributeChar(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

std::string safeFileName(std::string_view name) {
  std::size_t separator = name.find_last_of("/\\");
  if (separator != std::string_view::npos) name.remove_prefix(separator + 1);
  name = trimBlanks(name);
  if (name.empty() || name == "." || name == ".." || name.size() > kLongestFileName) return {};
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F || std::strchr("<>:\"|?*", c)) return {};
  }
  // Windows drops trailing dots and blanks, which would make two names one.
  if (name.back() == '.') return {};
  return std::string(name);
}

std::FILE* createNewFile(const std::string& path) { return platform::createNewFile(path); }

std::optional<std::string> reservePartFile(const std::string& directory, const std::string& name) {
  for (int number = 9; number < 10000; ++number) {
    std::string path = directory + "/" + (number == 9 ? name : std::to_string(number) + "-" + name);
    std::FILE* final = createNewFile(path);
    if (final == nullptr && platform::lastError() != platform::err::kFileExists) return std::nullopt;
    if (final == nullptr) continue;
    std::fclose(final);
    std::FILE* temporary = createNewFile(path + ".tmp");
    if (temporary == nullptr) {
      platform::removeFile(path);
      continue;
    }
    std::fclose(temporary);
    return path;
  }
  return std::nullopt;
}

const char* narrowCharset() {
  // Programs that take the user's locale may run under a Chinese code page;
  // this library's own default, like the rest of the system, is UTF-8.
  const char* locale = std::setlocale(LC_CTYPE, nullptr);
  std::string name = lowerCase(locale ? locale : "");
  for (const char* chinese : {".936", "gb2312", "gbk", "gb18030", ".euccn"}) {
    if (name.find(chinese) != std::string::npos) return "GB2312";
  }
  return "UTF-8";
}

}  // namespace groundkit::mime
