// The shared codecs on their own: what the streaming pieces do whatever the piece sizes, and the
// rules that tell the decoders of bodies, header words and the in-place interface apart.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "codec/base64.h"
#include "codec/quoted_printable.h"

namespace {

using codec::Base64Encoder;
using Rules = codec::QuotedPrintableRules;

// Every byte value, then a run long enough to fold over several lines.
std::string sampleBytes(std::size_t size) {
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>(i * 37 % 256));
  return bytes;
}

std::string encodeInPieces(std::string_view bytes, std::size_t piece, Base64Encoder::Layout layout) {
  Base64Encoder encoder(layout);
  std::string out;
  for (std::size_t at = 0; at < bytes.size(); at += piece) encoder.feed(bytes.substr(at, piece), out);
  encoder.finish(out);
  return out;
}

TEST(Base64Encoder, PiecesOfAnySizeGiveTheSameText) {
  for (std::size_t size : {0, 1, 2, 3, 56, 57, 58, 114, 300}) {
    const std::string bytes = sampleBytes(size);
    const std::string whole = encodeInPieces(bytes, bytes.size() + 1, Base64Encoder::Layout::kFolded);
    std::string unfolded = whole;
    std::erase_if(unfolded, [](char c) { return c == '\r' || c == '\n'; });
    EXPECT_EQ(codec::base64OneLine(bytes), unfolded) << size;
    for (std::size_t piece : {1, 2, 5, 57})
      EXPECT_EQ(encodeInPieces(bytes, piece, Base64Encoder::Layout::kFolded), whole)
          << size << " in pieces of " << piece;
  }
}

TEST(Base64Encoder, FoldsAfter76CharactersAndEndsWithALineEnd) {
  const std::string text = encodeInPieces(sampleBytes(60), 7, Base64Encoder::Layout::kFolded);
  ASSERT_EQ(text.size(), 76u + 2 + 4 + 2);
  EXPECT_EQ(text.substr(76, 2), "\r\n");
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(codec::base64OneLine("user@example.com"), "dXNlckBleGFtcGxlLmNvbQ==");
}

TEST(StrictBase64Decoder, DecodesFoldedTextFedInPiecesOfAnySize) {
  const std::string bytes = sampleBytes(300);
  const std::string text = encodeInPieces(bytes, 300, Base64Encoder::Layout::kFolded);
  for (std::size_t piece : {1, 3, 77, 1000}) {
    codec::StrictBase64Decoder decoder;
    std::string out;
    for (std::size_t at = 0; at < text.size(); at += piece)
      ASSERT_TRUE(decoder.feed(std::string_view(text).substr(at, piece), out)) << piece;
    decoder.finish(out);
    EXPECT_EQ(out, bytes) << piece;
  }
}

TEST(StrictBase64Decoder, RefusesMalformedText) {
  using namespace std::string_view_literals;
  for (std::string_view text : {"YW Jj"sv, "YWJj*"sv, "YQ=Q"sv, "Y==="sv, "="sv, "YQ\0=="sv}) {
    codec::StrictBase64Decoder decoder;
    std::string out;
    EXPECT_FALSE(decoder.feed(text, out)) << text;
  }
  codec::StrictBase64Decoder decoder;
  std::string out;
  EXPECT_TRUE(decoder.feed(" YWJj \r\n\tZA== \r\n", out));
  decoder.finish(out);
  EXPECT_EQ(out, "abcd");
}

TEST(LenientBase64, PaddingEndsTheTextOrIsSkipped) {
  std::string stopped, skipped;
  codec::decodeBase64Lenient("YWJj=ZGVm", codec::AtPadding::kStop, stopped);
  codec::decodeBase64Lenient("YWJj=ZGVm", codec::AtPadding::kSkip, skipped);
  EXPECT_EQ(stopped, "abc");
  EXPECT_EQ(skipped, "abcdef");
}

struct QpCase {
  const char* name;
  Rules rules;
  std::string text;
  std::string decoded;
};

class QuotedPrintable : public ::testing::TestWithParam<QpCase> {};

TEST_P(QuotedPrintable, FollowsItsRules) {
  std::string out;
  codec::decodeQuotedPrintable(GetParam().text, GetParam().rules, out);
  EXPECT_EQ(out, GetParam().decoded);
}

constexpr Rules kInPlace{Rules::SoftBreaks::kCrLf, Rules::BadEscape::kNonHexCountsZero, false};

INSTANTIATE_TEST_SUITE_P(
    Cases, QuotedPrintable,
    ::testing::Values(
        QpCase{"bodySoftBreakCrLf", codec::kBodyRules, "ab=\r\ncd", "abcd"},
        QpCase{"bodySoftBreakLf", codec::kBodyRules, "ab=\ncd", "abcd"},
        QpCase{"bodyBlanksBeforeSoftBreak", codec::kBodyRules, "ab= \t\r\ncd", "abcd"},
        QpCase{"bodyBadEscapeKept", codec::kBodyRules, "a=4Gb=", "a=4Gb="},
        QpCase{"bodyKeepsZeroBytesAndUnderscores", codec::kBodyRules, "a=00_", std::string("a\0_", 3)},
        QpCase{"wordUnderscoreIsBlank", codec::kHeaderWordRules, "a_b=5F", "a b_"},
        QpCase{"wordLineEndIsText", codec::kHeaderWordRules, "a=\r\nb", "a=\r\nb"},
        QpCase{"inPlaceOnlyCrLfBreaks", kInPlace, "a=\nzc=\r\nd", std::string("a\0cd", 4)},
        QpCase{"inPlaceBlankBeforeBreakIsAnEscape", kInPlace, "a= \r\nb", std::string("a\0\nb", 4)}),
    [](const ::testing::TestParamInfo<QpCase>& info) { return std::string(info.param.name); });

}  // namespace
