#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "groundkit/groundkit.h"
#include "internal/base64_digit.h"
#include "internal/bounded_copy.h"

namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned long kBase64LineLength = 76;
// Header values are decoded into buffers of 256 bytes.
constexpr std::size_t kDecodedValueMax = 255;

std::string_view textOf(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// Takes bytes into a buffer of a fixed capacity; bytes beyond it are counted but not stored.
class ByteSink {
 public:
  ByteSink(char* out, std::size_t capacity) : out_(out), capacity_(capacity) {}

  void put(char c) {
    if (count_ < capacity_) out_[count_] = c;
    ++count_;
  }
  void append(std::string_view text) {
    for (char c : text) put(c);
  }
  std::size_t count() const { return count_; }
  bool overflowed() const { return count_ > capacity_; }

  // What was taken, read as a zero-terminated string; nothing when it did not fit before its end.
  std::optional<std::string_view> asString() const {
    std::size_t stored = std::min(count_, capacity_);
    const void* zero = std::memchr(out_, '\0', stored);
    if (zero == nullptr && overflowed()) return std::nullopt;
    return std::string_view(out_, zero ? static_cast<const char*>(zero) - out_ : stored);
  }

 private:
  char* out_;
  std::size_t capacity_;
  std::size_t count_ = 0;
};

// Writes the 4 characters of one group of 1 to 3 bytes, padded with "=".
char* encodeGroup(const unsigned char* bytes, std::size_t count, char* out) {
  unsigned group = unsigned(bytes[0]) << 16;
  if (count > 1) group |= unsigned(bytes[1]) << 8;
  if (count > 2) group |= bytes[2];
  for (std::size_t i = 0; i < 4; ++i)
    *out++ = i <= count ? kBase64Alphabet[(group >> (18 - 6 * i)) & 0x3F] : '=';
  return out;
}

// Decodes up to the first "=", skipping characters outside the alphabet. Bits left over at the end
// that do not make a whole byte are dropped, so the output never outgrows the input.
void decodeBase64(std::string_view text, ByteSink& sink) {
  unsigned bits = 0;
  int bitCount = 0;
  for (char c : text) {
    if (c == '=') break;
    int value = groundkit::base64Digit(c);
    if (value < 0) continue;
    bits = (bits << 6) | unsigned(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      sink.put(static_cast<char>((bits >> bitCount) & 0xFF));
    }
  }
}

// "0" to "9" and "A" to "F" in either case; any other character counts 0.
unsigned hexValue(char c) {
  if (c >= '0' && c <= '9') return unsigned(c - '0');
  if (c >= 'A' && c <= 'F') return unsigned(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return unsigned(c - 'a' + 10);
  return 0;
}

// In an encoded word "_" stands for a blank; "=5F" still gives "_".
void decodeQuotedPrintable(std::string_view text, bool underscoreIsBlank, ByteSink& sink) {
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '=' && text.substr(i + 1, 2) == "\r\n") {
      i += 3;
    } else if (c == '=' && i + 2 < text.size()) {
      sink.put(static_cast<char>(hexValue(text[i + 1]) << 4 | hexValue(text[i + 2])));
      i += 3;
    } else {
      sink.put(underscoreIsBlank && c == '_' ? ' ' : c);
      ++i;
    }
  }
}

enum class WordEncoding { kBase64, kQ, kUnknown };

WordEncoding wordEncodingOf(std::string_view name) {
  if (name == "B" || name == "b") return WordEncoding::kBase64;
  if (name == "Q" || name == "q") return WordEncoding::kQ;
  return WordEncoding::kUnknown;
}

// False for an encoding other than "B" or "Q".
bool decodeWordText(std::string_view text, WordEncoding encoding, ByteSink& sink) {
  switch (encoding) {
    case WordEncoding::kBase64: decodeBase64(text, sink); return true;
    case WordEncoding::kQ: decodeQuotedPrintable(text, true, sink); return true;
    case WordEncoding::kUnknown: break;
  }
  return false;
}

// '=?charset?encoding?text?=' and its pieces, all views into the searched text.
struct EncodedWord {
  std::string_view charset;
  std::string_view encoding;
  std::string_view text;
  std::string_view whole;
};

std::optional<EncodedWord> findEncodedWord(std::string_view value) {
  constexpr auto npos = std::string_view::npos;
  std::size_t start = value.find("=?");
  if (start == npos) return std::nullopt;
  std::size_t charsetEnd = value.find('?', start + 2);
  if (charsetEnd == npos) return std::nullopt;
  std::size_t encodingEnd = value.find('?', charsetEnd + 1);
  if (encodingEnd == npos) return std::nullopt;
  std::size_t end = value.find("?=", encodingEnd + 1);
  if (end == npos) return std::nullopt;
  auto between = [value](std::size_t first, std::size_t last) { return value.substr(first, last - first); };
  return EncodedWord{between(start + 2, charsetEnd), between(charsetEnd + 1, encodingEnd),
                     between(encodingEnd + 1, end), between(start, end + 2)};
}

// A caller that hands over an output already holding a long string gets nothing decoded.
bool holdsAtLeast(const char* output, std::size_t length) {
  return std::memchr(output, '\0', length) == nullptr;
}

void replaceAll(std::string_view value, std::string_view word, std::string_view replacement, ByteSink& sink) {
  std::size_t from = 0;
  for (std::size_t hit; (hit = value.find(word, from)) != std::string_view::npos; from = hit + word.size()) {
    sink.append(value.substr(from, hit - from));
    sink.append(replacement);
  }
  sink.append(value.substr(from));
}

}  // namespace

extern "C" {

unsigned long BSCFEM_Base64BufferSize(unsigned long inputLength) {
  unsigned long groups = inputLength / 3 + (inputLength % 3 != 0 ? 1 : 0);
  unsigned long characters = 4 * groups;
  return characters + (2 * characters) / kBase64LineLength + 3;
}

int BSCFEM_EncodeBase64(const unsigned char* data, unsigned long dataLength, char* output,
                        unsigned long outputSize, unsigned long& outputLength) {
  char* out = output;
  unsigned long lineLength = 0;
  unsigned long done = 0;
  for (; dataLength - done >= 3; done += 3) {
    out = encodeGroup(data + done, 3, out);
    lineLength += 4;
    if (lineLength >= kBase64LineLength) {
      *out++ = '\r';
      *out++ = '\n';
      lineLength = 0;
    }
  }
  if (done < dataLength) out = encodeGroup(data + done, dataLength - done, out);
  *out++ = '\r';
  *out++ = '\n';
  *out = '\0';
  outputLength = static_cast<unsigned long>(out - output);
  return 1;
}

void BSCFEM_decode_b64(char* text) {
  if (text == nullptr) return;
  std::string_view encoded(text);
  ByteSink sink(text, encoded.size());
  decodeBase64(encoded, sink);
  text[sink.count()] = '\0';
}

void BSCFEM_decode_qp(char* text) {
  if (text == nullptr) return;
  std::string_view encoded(text);
  ByteSink sink(text, encoded.size());
  decodeQuotedPrintable(encoded, false, sink);
  text[sink.count()] = '\0';
}

int BSCFEM_GetEncodeString(const char* text, char* charset, char* encoding, char* encodedText,
                           char* encodedWord) {
  std::optional<EncodedWord> word = findEncodedWord(textOf(text));
  if (!word) return 0;
  groundkit::boundedCopy(charset, word->charset);
  groundkit::boundedCopy(encoding, word->encoding);
  groundkit::boundedCopy(encodedText, word->text);
  groundkit::boundedCopy(encodedWord, word->whole);
  return 1;
}

int BSCFEM_DecodeStringEx(const char* encodedText, char* output, const char* encoding) {
  std::string_view text = textOf(encodedText);
  if (text.empty() || output == nullptr) return 0;
  if (holdsAtLeast(output, BSCFEM_Base64BufferSize(text.size()))) return 0;
  groundkit::boundedCopy(output, text);
  std::string_view copied(output);
  ByteSink sink(output, copied.size());
  if (!decodeWordText(copied, wordEncodingOf(textOf(encoding)), sink)) return 0;
  output[sink.count()] = '\0';
  return 1;
}

// Decodes in buffers of its own and writes the output only when the whole result fits in 255
// bytes; otherwise the caller keeps the undecoded value.
int BSCFEM_DecodeString(const char* headerValue, char* output) {
  std::string_view value = textOf(headerValue);
  std::optional<EncodedWord> word = findEncodedWord(value);
  if (!word || word->text.empty() || output == nullptr) return 0;
  if (holdsAtLeast(output, BSCFEM_Base64BufferSize(word->text.size()))) return 0;

  char decodedBuffer[kDecodedValueMax];
  ByteSink decodedSink(decodedBuffer, sizeof decodedBuffer);
  if (!decodeWordText(word->text, wordEncodingOf(word->encoding), decodedSink)) return 0;
  std::optional<std::string_view> decoded = decodedSink.asString();
  if (!decoded) return 0;

  char result[kDecodedValueMax];
  ByteSink resultSink(result, sizeof result);
  replaceAll(value, word->whole, *decoded, resultSink);
  if (resultSink.overflowed()) return 0;
  std::memcpy(output, result, resultSink.count());
  output[resultSink.count()] = '\0';
  return 1;
}

}  // extern "C"
