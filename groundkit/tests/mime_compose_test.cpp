#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "gmime_reader.h"
#include "groundkit/groundkit.h"
#include "temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::writeFile;

std::string bytesOfSize(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned value = seed;
  for (char& c : bytes) {
    value = value * 1103515245u + 12345u;
    c = static_cast<char>(value >> 16);
  }
  return bytes;
}

std::vector<std::string> headerLines(const std::string& message) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = message.find("\r\n", start)) != std::string::npos && end != start;
       start = end + 2)
    lines.push_back(message.substr(start, end - start));
  return lines;
}

// ---- Content types ----

TEST(MimeContentType, NumbersAndNames) {
  EXPECT_EQ(BSCFEM_GetMainContentType("TEXT"), 0);
  EXPECT_EQ(BSCFEM_GetMainContentType("multipart"), 5);
  EXPECT_EQ(BSCFEM_GetMainContentType("message"), -1);
  EXPECT_EQ(BSCFEM_GetMainContentType(nullptr), -1);
  EXPECT_EQ(BSCFEM_GetSubContentType("Octet-Stream"), 8);
  EXPECT_EQ(BSCFEM_GetSubContentType("alternative"), 13);
  EXPECT_EQ(BSCFEM_GetSubContentType("pdf"), -1);
}

struct DescCase {
  int mainType;
  int subType;
  const char* parameterIn;
  const char* expected;  // a regular expression
  bool boundaryOut;
};

class ContentTypeDesc : public ::testing::TestWithParam<DescCase> {};

TEST_P(ContentTypeDesc, WritesFoldedValue) {
  char output[1024] = "";
  char parameter[1024] = "";
  std::strcpy(parameter, GetParam().parameterIn);
  BSCFEM_GetContentTypeDesc(GetParam().mainType, GetParam().subType, output, parameter);
  EXPECT_TRUE(std::regex_match(output, std::regex(GetParam().expected))) << output;
  if (GetParam().boundaryOut) {
    EXPECT_TRUE(std::regex_match(parameter, std::regex("----=_NEXT_PART_000_[0-9]+_[0-9A-F]{8}")))
        << parameter;
    EXPECT_NE(std::string(output).find(parameter), std::string::npos);
  } else {
    EXPECT_STREQ(parameter, GetParam().parameterIn);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentTypeDesc,
    ::testing::Values(DescCase{0, 0, "", "text/plain;\r\n\tcharset=\"UTF-8\"", false},
                      DescCase{0, 2, "untouched", "text/html;\r\n\tcharset=\"UTF-8\"", false},
                      DescCase{5, 12, "",
                               "multipart/"
                               "mixed;\r\n\tboundary=\"----=_NEXT_PART_000_[0-9]+_[0-9A-F]{8}\"",
                               true},
                      DescCase{7, 20, "", "7/20;\r\n\tboundary=\".*\"", true},
                      DescCase{4, 8, "report.doc",
                               "application/octet-stream;\r\n\tname=\"report.doc\"", false},
                      DescCase{4, 8, "a \"q\" \\.doc",
                               "application/octet-stream;\r\n\tname=\"a \\\\\"q\\\\\" "
                               "\\\\\\\\.doc\"",
                               false},
                      DescCase{4, 8, "报告.doc",
                               "application/"
                               "octet-stream;\r\n\tname\\*=UTF-8''%E6%8A%A5%E5%91%8A\\.doc",
                               false}));

TEST(MimeCharset, NamesUtf8AndReturnsItsLength) {
  char charset[32] = "";
  EXPECT_EQ(BSCFEM_GetCharset(charset), 5);
  EXPECT_STREQ(charset, "UTF-8");
}

TEST(MimeBoundary, KeepsTheSecondsAndDiffersWithinOneSecond) {
  char first[128] = "";
  char second[128] = "";
  long before = static_cast<long>(std::time(nullptr));
  int length = BSCFEM_GetBoundaryID(first);
  BSCFEM_GetBoundaryID(second);
  EXPECT_EQ(length, static_cast<int>(std::strlen(first)));
  std::cmatch match;
  ASSERT_TRUE(
      std::regex_match(first, match, std::regex("----=_NEXT_PART_000_([0-9]+)_[0-9A-F]{8}")));
  EXPECT_GE(std::stol(match[1]), before);
  EXPECT_STRNE(first, second);
}

// ---- Header ----

class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    if (old) old_ = old;
    hadOld_ = old != nullptr;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (hadOld_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool hadOld_ = false;
};

struct ZoneCase {
  const char* zone;
  const char* offset;
};

class DateZone : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(DateZone, CarriesTheOffsetInForce) {
  TimeZone zone(GetParam().zone);
  char header[4096];
  unsigned long error = 0;
  ASSERT_EQ(BSCFEM_EncodeEmailHeader("a@x.cn", {"b@y.cn"}, "s", "text/plain", 0, header,
                                     sizeof header, error),
            1);
  std::cmatch match;
  ASSERT_TRUE(
      std::regex_search(header, match,
                        std::regex("\r\nDATE: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), [0-9]{2} "
                                   "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} "
                                   "[0-9]{2}:[0-9]{2}:[0-9]{2} ([-+][0-9]{4})\r\n")))
      << header;
  EXPECT_EQ(match[3].str(), GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, DateZone,
    ::testing::Values(ZoneCase{"CST-8", "+0800"}, ZoneCase{"EST5", "-0500"},
                      ZoneCase{"IST-5:30", "+0530"}, ZoneCase{"UTC0", "+0000"},
                      // Daylight saving all year: the offset in force, not the standard one.
                      ZoneCase{"XST5XDT,J1/0,J365/25", "-0400"}));

TEST(MimeHeader, LinesInOrderWithFoldedRecipients) {
  char header[4096];
  unsigned long error = 0;
  ASSERT_EQ(BSCFEM_EncodeEmailHeader("a@x.cn", {"b@y.cn", "c@y.cn", "d@y.cn"}, "Hello",
                                     "text/plain", 0, header, sizeof header, error),
            1);
  std::string text = header;
  EXPECT_EQ(text.substr(0, 52), "FROM: a@x.cn\r\nTO: b@y.cn,\r\n\tc@y.cn,\r\n\td@y.cn\r\nSUBJEC");
  std::vector<std::string> lines = headerLines(text);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[4], "SUBJECT: Hello");
  EXPECT_EQ(lines[5].substr(0, 6), "DATE: ");
  EXPECT_EQ(lines[6], "MIME-Version: 1.0");
  EXPECT_EQ(lines[7], "Content-Type: text/plain");
  EXPECT_EQ(lines[8], "Content-Transfer-Encoding: base64");
  EXPECT_EQ(lines[9], "X-MAILER: Oxal Ltd., SendMail engine 3.001");
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

  ASSERT_EQ(BSCFEM_EncodeEmailHeader("a@x.cn", {}, "Hello", "multipart/mixed", 1, header,
                                     sizeof header, error),
            1);
  EXPECT_EQ(std::string(header).find("TO:"), std::string::npos);
  EXPECT_EQ(std::string(header).find("Content-Transfer-Encoding"), std::string::npos);
}

TEST(MimeHeader, TooSmallABufferGives36864) {
  char probe[4096];
  unsigned long error = 0;
  ASSERT_EQ(BSCFEM_EncodeEmailHeader("a@x.cn", {"b@y.cn"}, "s", "text/plain", 0, probe,
                                     sizeof probe, error),
            1);
  unsigned long exact = static_cast<unsigned long>(std::strlen(probe)) + 1;
  std::vector<char> header(exact, 'x');
  EXPECT_EQ(BSCFEM_EncodeEmailHeader("a@x.cn", {"b@y.cn"}, "s", "text/plain", 0, header.data(),
                                     exact, error),
            1);
  EXPECT_EQ(BSCFEM_EncodeEmailHeader("a@x.cn", {"b@y.cn"}, "s", "text/plain", 0, header.data(),
                                     exact - 1, error),
            0);
  EXPECT_EQ(error, 36864u);
}

TEST(MimeHeader, RefusesLineBreaksInValues) {
  char header[4096];
  struct Case {
    const char* sender;
    std::vector<std::string> recipients;
    const char* subject;
  } cases[] = {{"a@x.cn\r\nBcc: victim@z.cn", {"b@y.cn"}, "s"},
               {"a@x.cn", {"b@y.cn", "c@y.cn\nBcc: victim@z.cn"}, "s"},
               {"a@x.cn", {"b@y.cn"}, "hi\r\n\r\nforged body"},
               {"a@x.cn", {"b@y.cn"}, "bare\rCR"}};
  for (const Case& c : cases) {
    unsigned long error = 0;
    EXPECT_EQ(BSCFEM_EncodeEmailHeader(c.sender, c.recipients, c.subject, "text/plain", 0, header,
                                       sizeof header, error),
              0);
    EXPECT_EQ(error, kMimeLineBreakInValue);
  }
}

// ---- Whole messages ----

struct MissionCase {
  std::vector<std::string> recipients;
  std::vector<std::size_t> attachmentSizes;
  const char* name;
};

class ComposeMission : public ::testing::TestWithParam<MissionCase> {};

TEST_P(ComposeMission, ReadsBackByteForByte) {
  testsupport::TempDir dir;
  std::vector<std::string> attachments;
  std::vector<std::string> contents;
  const char* names[] = {"report.doc", "数据 \"v2\".bin"};
  for (std::size_t i = 0; i < GetParam().attachmentSizes.size(); ++i) {
    contents.push_back(bytesOfSize(GetParam().attachmentSizes[i], unsigned(i + 1)));
    attachments.push_back(dir.file(names[i]));
    writeFile(attachments.back(), contents.back());
  }
  std::string body = "第一行\r\nsecond line\r\n" + std::string(200, 'x');
  std::string path = dir.file("out.eml");
  unsigned long error = 0;
  ASSERT_EQ(BSCFEM_EncodeEmailMission(path.c_str(), "a@x.cn", GetParam().recipients, "Hello",
                                      body.c_str(), attachments, error),
            1)
      << error;

  std::string text = readFile(path);
  std::vector<std::string> lines = headerLines(text);
  bool multipart = !attachments.empty();
  EXPECT_EQ(lines.size(), 6 + GetParam().recipients.size() + (multipart ? 1 : 2));
  EXPECT_EQ(text.find("Content-Transfer-Encoding: base64\r\nX-MAILER") == std::string::npos,
            multipart);
  EXPECT_EQ(text.substr(text.size() - 4), multipart ? "--\r\n" : "\r\n\r\n");

  gmimereader::Message message = gmimereader::read(path);
  ASSERT_TRUE(message.parsed);
  EXPECT_EQ(message.from, "a@x.cn");
  EXPECT_EQ(message.to, GetParam().recipients);
  EXPECT_EQ(message.subject, "Hello");
  ASSERT_EQ(message.parts.size(), 1 + attachments.size());
  EXPECT_EQ(message.parts[0].contentType, "text/plain");
  EXPECT_EQ(message.parts[0].bytes, body);
  for (std::size_t i = 0; i < attachments.size(); ++i) {
    EXPECT_EQ(message.parts[i + 1].fileName, names[i]);
    EXPECT_EQ(message.parts[i + 1].contentType, "application/octet-stream");
    EXPECT_TRUE(message.parts[i + 1].bytes == contents[i]) << "attachment " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ComposeMission,
    ::testing::Values(
        MissionCase{{"b@y.cn"}, {}, "OneRecipientNoAttachment"},
        MissionCase{{"b@y.cn", "c@y.cn", "d@y.cn"}, {}, "ThreeRecipientsNoAttachment"},
        MissionCase{{"b@y.cn"}, {57 * 1024, 3}, "OneRecipientTwoAttachments"},
        MissionCase{{"b@y.cn", "c@y.cn", "d@y.cn"}, {0, 200001}, "ThreeRecipientsTwoAttachments"}),
    [](const auto& info) { return std::string(info.param.name); });

// The streamed attachment encoding is the one BSCFEM_EncodeFile gives, whatever
// the size.
TEST(ComposeAttachment, EncodedLikeEncodeFile) {
  for (std::size_t size :
       {0u, 1u, 2u, 56u, 57u, 58u, 114u, 57u * 1024u, 57u * 1024u + 1u, 300000u}) {
    testsupport::TempDir dir;
    std::string data = bytesOfSize(size, 7);
    writeFile(dir.file("a.bin"), data);
    std::FILE* file = std::fopen(dir.file("a.bin").c_str(), "rb");
    std::string expected;
    unsigned long error = 0;
    ASSERT_EQ(BSCFEM_EncodeFile(file, expected, error), 1);
    std::fclose(file);
    ASSERT_EQ(BSCFEM_EncodeEmailMission(dir.file("m.eml").c_str(), "a@x.cn", {"b@y.cn"}, "s", "t",
                                        {dir.file("a.bin")}, error),
              1);
    std::string text = readFile(dir.file("m.eml"));
    std::size_t start = text.find("filename=\"a.bin\"\r\n\r\n");
    ASSERT_NE(start, std::string::npos);
    start += std::strlen("filename=\"a.bin\"\r\n\r\n");
    EXPECT_EQ(text.substr(start, expected.size() + 4), expected + "\r\n--") << "size " << size;
  }
}

TEST(ComposeMission, AppendsToAnExistingFile) {
  testsupport::TempDir dir;
  std::string path = dir.file("m.eml");
  writeFile(path, "earlier content\r\n");
  unsigned long error = 0;
  ASSERT_EQ(BSCFEM_EncodeEmailMission(path.c_str(), "a@x.cn", {"b@y.cn"}, "s", "body", {}, error),
            1);
  std::string text = readFile(path);
  EXPECT_EQ(text.substr(0, 23), "earlier content\r\nFROM: ");
  EXPECT_TRUE(gmimereader::read(path, 17).parsed);
}

TEST(ComposeMission, FailuresLeaveTheFileAsItWas) {
  testsupport::TempDir dir;
  std::string path = dir.file("m.eml");
  writeFile(path, "earlier\r\n");
  writeFile(dir.file("ok.bin"), "data");
  unsigned long error = 0;
  EXPECT_EQ(BSCFEM_EncodeEmailMission(path.c_str(), "a@x.cn", {"b@y.cn"}, "s", "body",
                                      {dir.file("ok.bin"), dir.file("missing.bin")}, error),
            0);
  EXPECT_EQ(error, 36866u);

  std::vector<std::string> many(200, std::string(30, 'r') + "@example.com");
  EXPECT_EQ(BSCFEM_EncodeEmailMission(path.c_str(), "a@x.cn", many, "s", "body", {}, error), 0);
  EXPECT_EQ(error, 36864u);

  EXPECT_EQ(BSCFEM_EncodeEmailMission(path.c_str(), "a@x.cn", {"b@y.cn"}, "s\r\nBcc: z@z.cn",
                                      "body", {}, error),
            0);
  EXPECT_EQ(error, kMimeLineBreakInValue);
  EXPECT_EQ(readFile(path), "earlier\r\n");
}

// ---- Adding a header line ----

struct AddLineCase {
  const char* before;
  const char* after;
};

class AddHeadLine : public ::testing::TestWithParam<AddLineCase> {};

TEST_P(AddHeadLine, BecomesTheLastHeaderLine) {
  testsupport::TempDir dir;
  std::string path = dir.file("m.eml");
  writeFile(path, GetParam().before);
  EXPECT_EQ(BSCFEM_AddSpecialHeadLine(path.c_str(), "X-Sign", "vandry!"), 1);
  EXPECT_EQ(readFile(path), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, AddHeadLine,
                         ::testing::Values(
                             AddLineCase{
                                 "From: a\r\nTo: b\r\n\r\nbody\r\n\r\nmore\r\n",
                                 "From: a\r\nTo: b\r\nX-Sign: vandry!\r\n\r\nbody\r\n\r\nmore\r\n"},
                             AddLineCase{"From: a\nTo: b\n\nbody\n\nmore\n",
                                         "From: a\nTo: b\nX-Sign: vandry!\n\nbody\n\nmore\n"},
                             AddLineCase{"From: a\nSubject: x\n\r\nbody\r\n",
                                         "From: a\nSubject: x\nX-Sign: vandry!\n\r\nbody\r\n"},
                             AddLineCase{"From: a\r\nTo: b\r\n", "From: a\r\nTo: b\r\n"}));

TEST(AddHeadLineFailures, RefusesBadInputWithoutTouchingTheFile) {
  testsupport::TempDir dir;
  std::string path = dir.file("m.eml");
  const std::string original = "From: a\r\n\r\nbody\r\n";
  writeFile(path, original);
  EXPECT_EQ(BSCFEM_AddSpecialHeadLine(path.c_str(), "X-Sign", "ok\r\nBcc: victim@z.cn"), 0);
  EXPECT_EQ(BSCFEM_AddSpecialHeadLine(path.c_str(), "X-Sign\r\nBcc", "v"), 0);
  EXPECT_EQ(BSCFEM_AddSpecialHeadLine(path.c_str(), "", "v"), 0);
  EXPECT_EQ(BSCFEM_AddSpecialHeadLine(path.c_str(), "Bad Name", "v"), 0);
  EXPECT_EQ(readFile(path), original);
  EXPECT_EQ(BSCFEM_AddSpecialHeadLine(dir.file("missing.eml").c_str(), "X-Sign", "v"), 0);
  // A directory that cannot take the new file: the old file stays whole.
  ASSERT_EQ(::chmod(dir.path().c_str(), 0500), 0);
  std::FILE* probe = std::fopen(dir.file("probe").c_str(), "w");
  if (probe != nullptr) {
    std::fclose(probe);  // running as root: the directory stays writable
  } else {
    EXPECT_EQ(BSCFEM_AddSpecialHeadLine(path.c_str(), "X-Sign", "v"), 0);
    EXPECT_EQ(readFile(path), original);
  }
  ::chmod(dir.path().c_str(), 0700);
}

}  // namespace
