#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "groundkit/groundkit.h"

namespace {

std::string encodeField(const std::string& name, const std::string& value) {
  std::string field = "untouched";
  EXPECT_EQ(BSCFEM_EncodeHeaderField(name.c_str(), value.c_str(), "UTF-8", field), 1);
  return field;
}

std::vector<std::string> linesOf(const std::string& field) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < field.size();) {
    const std::size_t end = field.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "no CR LF at the end of " << field;
      break;
    }
    lines.push_back(field.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

std::string decodeBase64(const std::string& text) {
  std::vector<char> out(text.size() + 8, '\0');
  EXPECT_EQ(BSCFEM_DecodeStringEx(text.c_str(), out.data(), "B"), 1);
  return out.data();
}

bool isWholeUtf8(const std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = lead < 0x80    ? 1
                               : lead >= 0xF0 ? 4
                               : lead >= 0xE0 ? 3
                               : lead >= 0xC0 ? 2
                                              : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

// Takes the field apart again: every line at most 76 characters, every word of whole characters,
// and the words together give the value.
std::string decodeField(const std::string& name, const std::string& field, bool wholeCharacters) {
  const std::vector<std::string> lines = linesOf(field);
  EXPECT_FALSE(lines.empty());
  std::string value;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    EXPECT_LE(line.size(), 76u) << line;
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    if (i == 0) {
      EXPECT_EQ(line.rfind(name + ":", 0), 0u) << line;
      line.erase(0, name.size() + 1);
    }
    while (!line.empty() && line.front() == ' ') line.erase(0, 1);
    if (line.empty()) continue;
    EXPECT_EQ(line.rfind("=?UTF-8?B?", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 2), "?=") << line;
    const std::string word = decodeBase64(line.substr(10, line.size() - 12));
    EXPECT_TRUE(!wholeCharacters || isWholeUtf8(word)) << line;
    value += word;
  }
  return value;
}

TEST(HeaderField, PlainAsciiStaysAsItIs) {
  const std::string longSubject(200, 'x');
  for (const std::string value : {"Hello world", "", "tab\tand blanks  ", longSubject.c_str()})
    EXPECT_EQ(encodeField("Subject", value), "Subject: " + value + "\r\n");
}

struct EncodedCase {
  const char* name;
  std::string field;
  std::string value;
};

class EncodedField : public ::testing::TestWithParam<EncodedCase> {};

TEST_P(EncodedField, FoldsIntoWordsOfWholeCharactersThatGiveTheValueBack) {
  const EncodedCase& c = GetParam();
  const std::string field = encodeField(c.field, c.value);
  EXPECT_EQ(decodeField(c.field, field, isWholeUtf8(c.value)), c.value);
}

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodedField,
    ::testing::Values(
        EncodedCase{"chinese", "Subject", "审核退回:季度报表"},
        EncodedCase{"longChinese", "Subject", repeat("审核退回:季度报表", 12)},
        EncodedCase{"fourByteCharacters", "Subject", repeat("\xF0\x9F\x93\xA7 mail ", 20)},
        EncodedCase{"lineBreaksAreEncoded", "X-Sign-Message", "one\r\nBcc: spy@evil.test"},
        EncodedCase{"lookalikeEncodedWord", "Subject", "=?UTF-8?B?aGk=?="},
        EncodedCase{"longFieldName", std::string(70, 'X'), "报表"},
        EncodedCase{"invalidBytesAreCutAnywhere", "Subject",
                    repeat("\xE5\x80\x80\x80\x80\x80", 30)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HeaderField, ShortValueIsOneWord) {
  EXPECT_EQ(encodeField("Subject", "审核退回:Hello"),
            "Subject: =?UTF-8?B?5a6h5qC46YCA5ZueOkhlbGxv?=\r\n");
}

TEST(HeaderField, RefusesWhatCannotMakeAField) {
  std::string field;
  EXPECT_EQ(BSCFEM_EncodeHeaderField(nullptr, "x", "UTF-8", field), 0);
  EXPECT_EQ(BSCFEM_EncodeHeaderField("Subject", "x", "", field), 0);
  EXPECT_EQ(BSCFEM_EncodeHeaderField("Subject", "报", std::string(80, 'c').c_str(), field), 0);
  EXPECT_EQ(BSCFEM_EncodeHeaderField("Subject", nullptr, "UTF-8", field), 1);
  EXPECT_EQ(field, "Subject: \r\n");
}

}  // namespace
