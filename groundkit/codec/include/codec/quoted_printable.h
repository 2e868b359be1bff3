#pragma once
// Quoted-printable decoding for bodies, header words (the Q encoding) and the old in-place
// interface, which differ only in the rules below. Output goes to anything with push_back(char).

#include <cstddef>
#include <string_view>

namespace codec {

// "0" to "9" and "A" to "F" in either case; -1 for any other character.
inline int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct QuotedPrintableRules {
  enum class SoftBreaks {
    kNone,                // "=" at a line end is text
    kCrLf,                // "=" CR LF vanishes
    kBlanksAndLineEnd,    // "=", blanks, then CR LF or LF vanish
  };
  enum class BadEscape {
    kKept,                // "=" before two characters that are not both hex digits stays text
    kNonHexCountsZero,    // "=" takes the two characters anyway, a non-hex one counting 0
  };
  SoftBreaks softBreaks = SoftBreaks::kBlanksAndLineEnd;
  BadEscape badEscape = BadEscape::kKept;
  // In a header word "_" stands for a blank; "=5F" still gives "_".
  bool underscoreIsBlank = false;
};

// A message body: soft line breaks with or without blanks before them, malformed escapes kept.
inline constexpr QuotedPrintableRules kBodyRules{};
// A header word's Q encoding.
inline constexpr QuotedPrintableRules kHeaderWordRules{
    QuotedPrintableRules::SoftBreaks::kNone, QuotedPrintableRules::BadEscape::kKept, true};

namespace detail {

// The length of the soft line break that starts with the "=" at text[at]; 0 when there is none.
inline std::size_t softBreakLength(std::string_view text, std::size_t at,
                                   QuotedPrintableRules::SoftBreaks rule) {
  using SoftBreaks = QuotedPrintableRules::SoftBreaks;
  if (rule == SoftBreaks::kNone) return 0;
  std::size_t next = at + 1;
  if (rule == SoftBreaks::kBlanksAndLineEnd)
    while (next < text.size() && (text[next] == ' ' || text[next] == '\t')) ++next;
  if (rule == SoftBreaks::kBlanksAndLineEnd && next < text.size() && text[next] == '\n')
    return next + 1 - at;
  if (text.substr(next, 2) == "\r\n") return next + 2 - at;
  return 0;
}

}  // namespace detail

// Never writes more bytes than the text holds.
template <typename Out>
void decodeQuotedPrintable(std::string_view text, const QuotedPrintableRules& rules, Out& out) {
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '=') {
      if (std::size_t soft = detail::softBreakLength(text, i, rules.softBreaks)) {
        i += soft;
        continue;
      }
      if (i + 2 < text.size()) {
        int high = hexDigit(text[i + 1]);
        int low = hexDigit(text[i + 2]);
        if (rules.badEscape == QuotedPrintableRules::BadEscape::kNonHexCountsZero) {
          high = high < 0 ? 0 : high;
          low = low < 0 ? 0 : low;
        }
        if (high >= 0 && low >= 0) {
          out.push_back(static_cast<char>(high << 4 | low));
          i += 3;
          continue;
        }
      }
    }
    out.push_back(rules.underscoreIsBlank && c == '_' ? ' ' : c);
    ++i;
  }
}

}  // namespace codec
