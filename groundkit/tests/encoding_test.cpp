#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "groundkit/groundkit.h"

namespace {

template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// Encodes into a heap buffer of exactly BSCFEM_Base64BufferSize bytes, so that the address
// sanitizer sees any write past it.
std::string encode(const std::string& data) {
  std::vector<char> buffer(BSCFEM_Base64BufferSize(data.size()), '#');
  unsigned long length = 0;
  EXPECT_EQ(BSCFEM_EncodeBase64(reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                                buffer.data(), buffer.size(), length),
            1);
  EXPECT_EQ(length, std::strlen(buffer.data()));
  return std::string(buffer.data(), length);
}

// Runs an in-place decoder on a heap copy of exactly the text's size.
template <typename Decode>
std::string decodeInPlace(const std::string& text, Decode decode) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  decode(buffer.data());
  return buffer.data();
}

// ---- Base64 encoding ---------------------------------------------------------------------------

struct SizeCase {
  unsigned long input;
  unsigned long size;
};

class Base64BufferSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(Base64BufferSize, CoversCharactersLineBreaksAndZero) {
  EXPECT_EQ(BSCFEM_Base64BufferSize(GetParam().input), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Cases, Base64BufferSize,
                         ::testing::Values(SizeCase{0, 3}, SizeCase{1, 7}, SizeCase{3, 7},
                                           SizeCase{4, 11}, SizeCase{56, 81}, SizeCase{57, 81},
                                           SizeCase{58, 85}, SizeCase{114, 159}));

struct EncodeCase {
  const char* name;
  std::string data;
  std::string encoded;
};

class EncodeBase64 : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeBase64, WritesExactBytes) { EXPECT_EQ(encode(GetParam().data), GetParam().encoded); }

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeBase64,
    ::testing::Values(
        EncodeCase{"empty", "", "\r\n"},
        EncodeCase{"oneByte", "a", "YQ==\r\n"},
        EncodeCase{"twoBytes", "ab", "YWI=\r\n"},
        EncodeCase{"threeBytes", "abc", "YWJj\r\n"},
        EncodeCase{"highBytes", std::string("\xff\xfe\x00", 3), "//4A\r\n"},
        EncodeCase{"fullLineEndsInTwoBreaks", std::string(57, 'M'), repeat("TU1N", 19) + "\r\n\r\n"},
        EncodeCase{"lastGroupNotCountedForLine", std::string(56, '\0'), std::string(75, 'A') + "=\r\n"},
        EncodeCase{"secondLinePadded", std::string(58, '\0'), std::string(76, 'A') + "\r\nAA==\r\n"}),
    caseName<EncodeCase>);

// Every byte value, so that a round trip shows any byte the decoder gets wrong.
std::string sampleBytes(std::size_t length) {
  std::string data(length, '\0');
  for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<char>((i * 37 + 11) % 256);
  return data;
}

class Base64RoundTrip : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Base64RoundTrip, DecodesToTheSameBytesInLinesOf76) {
  std::string data = sampleBytes(GetParam());
  std::string encoded = encode(data);

  ASSERT_GE(encoded.size(), 2u);
  EXPECT_EQ(encoded.substr(encoded.size() - 2), "\r\n");
  std::size_t lineStart = 0;
  for (std::size_t lineEnd; (lineEnd = encoded.find("\r\n", lineStart)) != std::string::npos;
       lineStart = lineEnd + 2) {
    bool lastLine = lineEnd + 2 >= encoded.size() || encoded.compare(lineEnd + 2, 2, "\r\n") == 0;
    if (!lastLine) {
      EXPECT_EQ(lineEnd - lineStart, 76u) << "line at " << lineStart;
    }
    EXPECT_LE(lineEnd - lineStart, 76u);
  }

  // The decoder hands back a zero-terminated string: compare the bytes up to the data's length.
  std::vector<char> buffer(encoded.begin(), encoded.end());
  buffer.push_back('\0');
  BSCFEM_decode_b64(buffer.data());
  EXPECT_EQ(std::string(buffer.data(), data.size()), data);
  EXPECT_EQ(buffer[data.size()], '\0');
}

std::vector<std::size_t> roundTripLengths() {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 200; ++n) lengths.push_back(n);
  for (std::size_t n : {227u, 228u, 229u, 570u, 1000u, 4096u}) lengths.push_back(n);
  return lengths;
}

INSTANTIATE_TEST_SUITE_P(Lengths, Base64RoundTrip, ::testing::ValuesIn(roundTripLengths()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return "bytes" + std::to_string(info.param);
                         });

// ---- In-place decoders -------------------------------------------------------------------------

struct DecodeCase {
  const char* name;
  std::string text;
  std::string decoded;
};

class DecodeBase64 : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeBase64, DecodesInPlace) {
  EXPECT_EQ(decodeInPlace(GetParam().text, BSCFEM_decode_b64), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeBase64,
    ::testing::Values(
        DecodeCase{"acrossLines", "YWJj\r\nZA==", "abcd"},
        DecodeCase{"blanksSkipped", " Y W\tJ j ", "abc"},
        DecodeCase{"stopsAtPadding", "YWJj=ZGVm", "abc"},
        DecodeCase{"unpaddedTail", "YWI", "ab"},
        DecodeCase{"foreignCharactersSkipped", "Y*W!J-j", "abc"},
        DecodeCase{"empty", "", ""},
        // A single leftover character carries no whole byte; the output never outgrows the input.
        DecodeCase{"lonelyCharacter", "Y", ""},
        DecodeCase{"twoCharacters", "YQ", "a"},
        DecodeCase{"groupAndLonelyCharacter", "YWJjZ", "abc"}),
    caseName<DecodeCase>);

class DecodeQuotedPrintable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeQuotedPrintable, DecodesInPlace) {
  EXPECT_EQ(decodeInPlace(GetParam().text, BSCFEM_decode_qp), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeQuotedPrintable,
    ::testing::Values(
        DecodeCase{"upperHex", "a=3Db", "a=b"},
        DecodeCase{"lowerHex", "a=3db", "a=b"},
        DecodeCase{"softLineBreak", "ab=\r\ncd", "abcd"},
        DecodeCase{"highByte", "=E4=B8=AD", "\xe4\xb8\xad"},
        DecodeCase{"otherCharactersCountZero", "=4G=G4", "@\x04"},
        DecodeCase{"oneCharacterLeft", "x=4", "x=4"},
        DecodeCase{"equalsAtEnd", "x=", "x="},
        DecodeCase{"bareLineFeedIsText", "a\r\nb", "a\r\nb"},
        DecodeCase{"underscoreStays", "a_b", "a_b"},
        DecodeCase{"empty", "", ""}),
    caseName<DecodeCase>);

// ---- Encoded words -----------------------------------------------------------------------------

TEST(GetEncodeString, GivesThePiecesOfTheFirstWord) {
  char charset[1024], encoding[1024], text[1024], word[1024];
  ASSERT_EQ(BSCFEM_GetEncodeString("Re: =?gb2312?B?YWJj?= and =?x?Q?y?=", charset, encoding, text, word), 1);
  EXPECT_STREQ(charset, "gb2312");
  EXPECT_STREQ(encoding, "B");
  EXPECT_STREQ(text, "YWJj");
  EXPECT_STREQ(word, "=?gb2312?B?YWJj?=");
}

TEST(GetEncodeString, EndSearchStartsAfterTheThirdQuestionMark) {
  char charset[1024], encoding[1024], text[1024], word[1024];
  ASSERT_EQ(BSCFEM_GetEncodeString("=?cs?Q?=41?=", charset, encoding, text, word), 1);
  EXPECT_STREQ(text, "=41");
  EXPECT_EQ(BSCFEM_GetEncodeString("=?cs?B?=", charset, encoding, text, word), 0);
}

TEST(GetEncodeString, FindsNothingInIncompleteWords) {
  char charset[1024], encoding[1024], text[1024], word[1024];
  for (const char* value : {"", "plain", "=?cs", "=?cs?B", "=?cs?B?YWJj", "=?cs?B?YWJj?"})
    EXPECT_EQ(BSCFEM_GetEncodeString(value, charset, encoding, text, word), 0) << value;
}

TEST(GetEncodeString, CutsLongPiecesAt1023Characters) {
  std::string charset(2000, 'c');
  std::string value = "=?" + charset + "?B?YWJj?=";
  std::vector<char> outs[4] = {std::vector<char>(1024), std::vector<char>(1024), std::vector<char>(1024),
                               std::vector<char>(1024)};
  ASSERT_EQ(BSCFEM_GetEncodeString(value.c_str(), outs[0].data(), outs[1].data(), outs[2].data(),
                                   outs[3].data()),
            1);
  EXPECT_EQ(std::string(outs[0].data()), charset.substr(0, 1023));
  EXPECT_STREQ(outs[2].data(), "YWJj");
  EXPECT_EQ(std::string(outs[3].data()), value.substr(0, 1023));
}

struct WordTextCase {
  const char* name;
  const char* text;
  const char* encoding;
  int result;
  const char* output;
};

class DecodeStringEx : public ::testing::TestWithParam<WordTextCase> {};

TEST_P(DecodeStringEx, DecodesByEncodingName) {
  const WordTextCase& c = GetParam();
  char output[1024] = "";
  EXPECT_EQ(BSCFEM_DecodeStringEx(c.text, output, c.encoding), c.result);
  EXPECT_STREQ(output, c.output);
}

INSTANTIATE_TEST_SUITE_P(Cases, DecodeStringEx,
                         ::testing::Values(WordTextCase{"base64", "YWJj", "B", 1, "abc"},
                                           WordTextCase{"base64LowerName", "YWJj", "b", 1, "abc"},
                                           WordTextCase{"q", "a_b=3D=5F", "Q", 1, "a b=_"},
                                           WordTextCase{"qLowerName", "x=41", "q", 1, "xA"},
                                           WordTextCase{"unknownKeepsCopy", "x", "X", 0, "x"},
                                           WordTextCase{"longNameUnknown", "x", "BB", 0, "x"},
                                           WordTextCase{"empty", "", "B", 0, ""}),
                         caseName<WordTextCase>);

TEST(DecodeStringExOutput, RefusesAnOutputAlreadyHoldingALongString) {
  // BSCFEM_Base64BufferSize(4) is 11.
  char output[1024] = "0123456789";
  EXPECT_EQ(BSCFEM_DecodeStringEx("YWJj", output, "B"), 1);
  std::strcpy(output, "0123456789a");
  EXPECT_EQ(BSCFEM_DecodeStringEx("YWJj", output, "B"), 0);
  EXPECT_STREQ(output, "0123456789a");
}

struct ValueCase {
  const char* name;
  std::string value;
  int result;
  std::string output;  // meaningful when result is 1
};

class DecodeString : public ::testing::TestWithParam<ValueCase> {};

TEST_P(DecodeString, DecodesTheFirstWordInto256Bytes) {
  const ValueCase& c = GetParam();
  std::vector<char> output(256, '\0');
  output[200] = '#';  // untouched when nothing is decoded
  EXPECT_EQ(BSCFEM_DecodeString(c.value.c_str(), output.data()), c.result);
  if (c.result == 1) {
    EXPECT_EQ(std::string(output.data()), c.output);
  } else {
    EXPECT_EQ(output[0], '\0');
    EXPECT_EQ(output[200], '#');
  }
}

const std::string kLongBase64Of300Bytes = [] {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "YWJj";
  return text;
}();

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeString,
    ::testing::Values(
        ValueCase{"base64", "Re: =?gb2312?B?YWJj?=", 1, "Re: abc"},
        ValueCase{"q", "=?utf-8?q?caf=C3=A9_au_lait?= x", 1, "caf\xc3\xa9 au lait x"},
        ValueCase{"noWord", "plain subject", 0, ""},
        ValueCase{"empty", "", 0, ""},
        ValueCase{"emptyText", "=?cs?B?" "?=", 0, ""},
        ValueCase{"unknownEncoding", "=?cs?X?YWJj?=", 0, ""},
        ValueCase{"everyCopyReplaced", "=?a?B?YWJj?= - =?a?B?YWJj?=", 1, "abc - abc"},
        ValueCase{"secondWordStaysEncoded", "=?a?B?YWJj?= =?a?B?ZGVm?=", 1, "abc =?a?B?ZGVm?="},
        ValueCase{"blanksAroundKept", "  =?a?B?YWJj?=  ", 1, "  abc  "},
        ValueCase{"decodedZeroEndsText", "=?a?Q?x=00y?= z", 1, "x z"},
        ValueCase{"resultOf255Fits", std::string(252, 'v') + "=?a?B?YWJj?=", 1, std::string(252, 'v') + "abc"},
        ValueCase{"resultOf256Kept", std::string(253, 'v') + "=?a?B?YWJj?=", 0, ""},
        ValueCase{"decodedWordTooLong", "=?a?B?" + kLongBase64Of300Bytes + "?=", 0, ""},
        ValueCase{"replacedCopiesTooLong", "=?a?B?" + kLongBase64Of300Bytes.substr(0, 200) + "?= " +
                                               "=?a?B?" + kLongBase64Of300Bytes.substr(0, 200) + "?=",
                  0, ""},
        ValueCase{"longCharsetNameUnused", "=?" + std::string(300, 'c') + "?B?YWJj?=", 1, "abc"},
        ValueCase{"longEncodingNameRefused", "=?cs?" + std::string(300, 'B') + "?YWJj?=", 0, ""}),
    caseName<ValueCase>);

}  // namespace
