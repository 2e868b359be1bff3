// The shared codecs on any input: base64 encoded in pieces of any size decodes back exactly, and no
// decoder writes more than its input can hold, whatever the rules.
#include <string>
#include <string_view>

#include "codec/base64.h"
#include "codec/quoted_printable.h"
#include "fuzz_support.h"

namespace {

using Rules = codec::QuotedPrintableRules;

void roundTrip(std::string_view bytes, std::size_t piece) {
  codec::Base64Encoder encoder;
  std::string folded;
  for (std::size_t at = 0; at < bytes.size(); at += piece) encoder.feed(bytes.substr(at, piece), folded);
  encoder.finish(folded);

  std::string oneLine = codec::base64OneLine(bytes);
  std::string unfolded = folded;
  std::erase_if(unfolded, [](char c) { return c == '\r' || c == '\n'; });
  FUZZ_CHECK(unfolded == oneLine);

  codec::StrictBase64Decoder decoder;
  std::string decoded;
  for (std::size_t at = 0; at < folded.size(); at += piece)
    FUZZ_CHECK(decoder.feed(std::string_view(folded).substr(at, piece), decoded));
  decoder.finish(decoded);
  FUZZ_CHECK(decoded == bytes);

  std::string lenient;
  codec::decodeBase64Lenient(folded, codec::AtPadding::kStop, lenient);
  FUZZ_CHECK(lenient == bytes);
}

void decodeAnyText(std::string_view text, std::size_t piece) {
  codec::StrictBase64Decoder decoder;
  std::string strict;
  for (std::size_t at = 0; at < text.size(); at += piece)
    if (!decoder.feed(text.substr(at, piece), strict)) break;
  decoder.finish(strict);
  FUZZ_CHECK(strict.size() <= text.size() * 3 / 4);

  for (codec::AtPadding atPadding : {codec::AtPadding::kStop, codec::AtPadding::kSkip}) {
    std::string lenient;
    codec::decodeBase64Lenient(text, atPadding, lenient);
    FUZZ_CHECK(lenient.size() <= text.size() * 3 / 4);
  }

  const Rules inPlace{Rules::SoftBreaks::kCrLf, Rules::BadEscape::kNonHexCountsZero, false};
  for (const Rules& rules : {codec::kBodyRules, codec::kHeaderWordRules, inPlace}) {
    std::string decoded;
    codec::decodeQuotedPrintable(text, rules, decoded);
    FUZZ_CHECK(decoded.size() <= text.size());
    if (text.find_first_of("=_") == std::string_view::npos) FUZZ_CHECK(decoded == text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte chooses the piece size; the rest is the input.
  if (size == 0) return 0;
  const std::size_t piece = data[0] % 80 + 1;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  roundTrip(input, piece);
  decodeAnyText(input, piece);
  return 0;
}
