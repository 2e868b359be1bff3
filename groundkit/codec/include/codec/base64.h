#pragma once
// Base64: a streaming encoder, a strict streaming decoder for bodies and a lenient decoder for
// header words and the old in-place interface. Output goes to anything with push_back(char).

#include <cstddef>
#include <string>
#include <string_view>

namespace codec {

inline constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The value of one base64 digit ("A" to "/"); -1 for any other character, padding included.
inline int base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Encodes bytes fed in pieces of any size. Folded: CR LF after each 76 characters made of whole
// groups, and CR LF at the end (a message body's layout). One line: no line breaks at all.
class Base64Encoder {
 public:
  enum class Layout { kFolded, kOneLine };
  static constexpr std::size_t kLineLength = 76;

  explicit Base64Encoder(Layout layout = Layout::kFolded) : layout_(layout) {}

  template <typename Out>
  void feed(std::string_view bytes, Out& out) {
    for (char byte : bytes) {
      carry_[carried_++] = static_cast<unsigned char>(byte);
      if (carried_ < 3) continue;
      putGroup(out);
      lineLength_ += 4;
      if (layout_ == Layout::kFolded && lineLength_ >= kLineLength) {
        putLineEnd(out);
        lineLength_ = 0;
      }
    }
  }

  // Writes the last, padded group and, when folded, the final CR LF; the encoder starts anew.
  template <typename Out>
  void finish(Out& out) {
    if (carried_ > 0) putGroup(out);
    if (layout_ == Layout::kFolded) putLineEnd(out);
    lineLength_ = 0;
  }

 private:
  template <typename Out>
  void putGroup(Out& out) {
    unsigned group = unsigned(carry_[0]) << 16 | (carried_ > 1 ? unsigned(carry_[1]) << 8 : 0u) |
                     (carried_ > 2 ? unsigned(carry_[2]) : 0u);
    for (std::size_t i = 0; i < 4; ++i)
      out.push_back(i <= carried_ ? kBase64Alphabet[(group >> (18 - 6 * i)) & 0x3F] : '=');
    carried_ = 0;
  }

  template <typename Out>
  static void putLineEnd(Out& out) {
    out.push_back('\r');
    out.push_back('\n');
  }

  Layout layout_;
  unsigned char carry_[3] = {};
  std::size_t carried_ = 0;
  std::size_t lineLength_ = 0;
};

// The bytes as base64 on one line, as an AUTH LOGIN answer or an encoded word needs them.
inline std::string base64OneLine(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  Base64Encoder encoder(Base64Encoder::Layout::kOneLine);
  encoder.feed(bytes, out);
  encoder.finish(out);
  return out;
}

// Base64 fed in pieces of any size: groups may span lines; line ends and blanks at either end of a
// line are ignored, a blank between characters of a line or any other character is an error.
class StrictBase64Decoder {
 public:
  // False at the first malformed character; what came before it has been written.
  template <typename Out>
  bool feed(std::string_view text, Out& out) {
    for (char c : text) {
      if (c == '\r' || c == '\n') {
        lineHasData_ = blankAfterData_ = false;
      } else if (c == ' ' || c == '\t') {
        blankAfterData_ = lineHasData_;
      } else {
        if (blankAfterData_) return false;
        lineHasData_ = true;
        if (!takeCharacter(c, out)) return false;
      }
    }
    return true;
  }

  // A group cut short at the end gives the whole bytes it holds.
  template <typename Out>
  void finish(Out& out) {
    if (digits_ >= 2) flushGroup(out);
    digits_ = padding_ = 0;
  }

 private:
  template <typename Out>
  bool takeCharacter(char c, Out& out) {
    if (c == '=') {
      if (digits_ < 2) return false;
      ++padding_;
    } else {
      int value = base64Digit(c);
      if (value < 0 || padding_ > 0) return false;
      values_[digits_++] = static_cast<unsigned>(value);
    }
    if (digits_ + padding_ == 4) {
      flushGroup(out);
      digits_ = padding_ = 0;
    }
    return true;
  }

  // digits_ values give digits_ - 1 bytes.
  template <typename Out>
  void flushGroup(Out& out) {
    for (std::size_t i = digits_; i < 4; ++i) values_[i] = 0;
    unsigned group = values_[0] << 18 | values_[1] << 12 | values_[2] << 6 | values_[3];
    for (std::size_t i = 0; i + 1 < digits_; ++i)
      out.push_back(static_cast<char>((group >> (16 - 8 * i)) & 0xFF));
  }

  unsigned values_[4] = {};
  std::size_t digits_ = 0;
  std::size_t padding_ = 0;
  bool lineHasData_ = false;
  bool blankAfterData_ = false;
};

// What a lenient decoder does at "=": stop there (the in-place decoder), or skip it like any other
// character outside the alphabet (header words).
enum class AtPadding { kStop, kSkip };

// Decodes whatever it can: characters outside the alphabet are skipped, and bits left over at the
// end that do not make a whole byte are dropped, so the output never outgrows the input.
template <typename Out>
void decodeBase64Lenient(std::string_view text, AtPadding atPadding, Out& out) {
  unsigned bits = 0;
  int bitCount = 0;
  for (char c : text) {
    if (c == '=' && atPadding == AtPadding::kStop) break;
    int value = base64Digit(c);
    if (value < 0) continue;
    bits = (bits << 6) | unsigned(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      out.push_back(static_cast<char>((bits >> bitCount) & 0xFF));
    }
  }
}

}  // namespace codec
