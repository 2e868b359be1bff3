#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "codec/base64.h"
#include "codec/quoted_printable.h"
#include "groundkit/groundkit.h"
#include "internal/bounded_copy.h"

namespace {

constexpr unsigned long kBase64LineLength = codec::Base64Encoder::kLineLength;
// Header values are decoded into buffers of 256 bytes.
constexpr std::size_t kDecodedValueMax = 255;

std::string_view textOf(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// Takes bytes into a buffer of a fixed capacity; bytes beyond it are counted but not stored.
class ByteSink {
 public:
  ByteSink(char* out, std::size_t capacity) : out_(out), capacity_(capacity) {}

  void push_back(char c) {
    if (count_ < capacity_) out_[count_] = c;
    ++count_;
  }
  void append(std::string_view text) {
    for (char c : text) push_back(c);
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

// The rules of the in-place decoder and of the Q words it decodes: only "=" CR LF is a soft line
// break, and "=" takes the next two characters whatever they are.
constexpr codec::QuotedPrintableRules qpRules(bool underscoreIsBlank) {
  return {codec::QuotedPrintableRules::SoftBreaks::kCrLf,
          codec::QuotedPrintableRules::BadEscape::kNonHexCountsZero, underscoreIsBlank};
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
    case WordEncoding::kBase64:
      codec::decodeBase64Lenient(text, codec::AtPadding::kStop, sink);
      return true;
    case WordEncoding::kQ: codec::decodeQuotedPrintable(text, qpRules(true), sink); return true;
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
  // The output is written without a bound: the caller sized it with BSCFEM_Base64BufferSize.
  struct Writer {
    char* at;
    void push_back(char c) { *at++ = c; }
  } writer{output};
  codec::Base64Encoder encoder;
  encoder.feed(std::string_view(reinterpret_cast<const char*>(data), dataLength), writer);
  encoder.finish(writer);
  *writer.at = '\0';
  outputLength = static_cast<unsigned long>(writer.at - output);
  return 1;
}

void BSCFEM_decode_b64(char* text) {
  if (text == nullptr) return;
  std::string_view encoded(text);
  ByteSink sink(text, encoded.size());
  codec::decodeBase64Lenient(encoded, codec::AtPadding::kStop, sink);
  text[sink.count()] = '\0';
}

void BSCFEM_decode_qp(char* text) {
  if (text == nullptr) return;
  std::string_view encoded(text);
  ByteSink sink(text, encoded.size());
  codec::decodeQuotedPrintable(encoded, qpRules(false), sink);
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
