#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "groundkit/groundkit.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

std::string base64(const std::string& data) {
  std::string out(BSCFEM_Base64BufferSize(static_cast<unsigned long>(data.size())), '\0');
  unsigned long length = 0;
  BSCFEM_EncodeBase64(reinterpret_cast<const unsigned char*>(data.data()),
                      static_cast<unsigned long>(data.size()), out.data(),
                      static_cast<unsigned long>(out.size()), length);
  out.resize(length);
  return out;
}

// Every file in the directory (recursively) by its path relative to the
// directory.
std::map<std::string, std::string> filesIn(const std::string& directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), directory).string()] = readFile(entry.path().string());
  }
  return files;
}

// ---- Header map ----

TEST(MailHeader, FoldingFirstOccurrenceAndLinesWithoutColon) {
  testsupport::TempDir dir;
  std::string path = dir.file("m.eml");
  writeFile(path,
            " orphan continuation\r\n"
            "Subject: a\r\n b\r\n\tc\r\n"
            "X-Twice: first\r\n"
            "x-twice: other case\r\n"
            "X-Twice: second\r\n"
            "NoColonHere\r\n"
            "Empty:\n"
            "To:   spaced\r\n"
            "\r\n"
            "Body-Line: not header\r\n");
  MailHeaderMap header;
  unsigned long error = 0;
  ASSERT_EQ(BSCFEM_D_GetMailHeaderSec(path.c_str(), header, error), 1);
  EXPECT_EQ(header.at("Subject"), "a b\tc");
  EXPECT_EQ(header.at("X-Twice"), "first");
  EXPECT_EQ(header.at("x-twice"), "other case");
  EXPECT_EQ(header.at("NoColonHere"), "");
  EXPECT_EQ(header.at("Empty"), "");
  EXPECT_EQ(header.at("To"), "spaced");
  EXPECT_EQ(header.count("Body-Line"), 0u);
  EXPECT_EQ(header.size(), 6u);

  EXPECT_EQ(BSCFEM_D_GetMailHeaderSec(dir.file("missing").c_str(), header, error), 0);
  EXPECT_EQ(error, 36868u);
  EXPECT_EQ(BSCFEM_D_GetMailHeaderSec(dir.path().c_str(), header, error), 0);
  EXPECT_EQ(error, 36868u);
}

TEST(MailHeader, ParamFromHeadTextIgnoresCase) {
  char text[] =
      "From: a@x.cn\r\nCONTENT-TYPE: "
      "text/plain;\r\n\tcharset=\"gb2312\"\r\n\r\nSubject: s\n";
  char value[1024] = "untouched";
  BSCFEM_GetMailParamFromHead(text, "content-type", value);
  EXPECT_STREQ(value, "text/plain;\tcharset=\"gb2312\"");
  char again[] = "From: a@x.cn\r\n";
  std::strcpy(value, "untouched");
  BSCFEM_GetMailParamFromHead(again, "Subject", value);
  EXPECT_STREQ(value, "untouched");
}

struct SplitCase {
  const char* value;
  int mainType;
  int subType;
  const char* parameters;
};

class ContentTypeSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ContentTypeSplit, GivesNumbersAndParameters) {
  int mainType = 99;
  int subType = 99;
  char parameters[1024] = "junk";
  BSCFEM_D_SpliteContentTypeLine(GetParam().value, mainType, subType, parameters);
  EXPECT_EQ(mainType, GetParam().mainType);
  EXPECT_EQ(subType, GetParam().subType);
  EXPECT_STREQ(parameters, GetParam().parameters);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ContentTypeSplit,
    ::testing::Values(SplitCase{"text/html; charset=gb2312", 0, 2, "charset=gb2312"},
                      SplitCase{"Multipart/Mixed;\tboundary=\"b; c\"", 5, 12, "boundary=\"b; c\""},
                      SplitCase{"application", 4, -1, ""}, SplitCase{"message/rfc822", -1, -1, ""},
                      SplitCase{" text / plain ;  a=b", 0, 0, "a=b"}, SplitCase{"", -1, -1, ""}));

// ---- Base64 part files ----

struct Base64Case {
  std::string text;
  int result;
  std::string decoded;  // what the output file holds
};

class Base64File : public ::testing::TestWithParam<Base64Case> {};

TEST_P(Base64File, DecodesAcrossLines) {
  testsupport::TempDir dir;
  writeFile(dir.file("in.b64"), GetParam().text);
  EXPECT_EQ(BSCFEM_D_DecodeBase64File(dir.file("in.b64").c_str(), dir.file("out").c_str()),
            GetParam().result);
  EXPECT_EQ(readFile(dir.file("out")), GetParam().decoded);
}

std::string longText() {
  std::string data;
  for (int i = 0; i < 3000; ++i) data += static_cast<char>(i * 7);
  return data;
}

std::string unwrapped(const std::string& data) {
  std::string text = base64(data);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Base64File,
    ::testing::Values(
        Base64Case{"YWJj\r\nZA==\r\n", 1, "abcd"},
        Base64Case{"YW\nJjZA\n==\n", 1, "abcd"},                    // groups across lines
        Base64Case{"YWJjZGVm\n  \n\tZ2g=  \r\n", 1, "abcdefgh"},    // blank lines, edge blanks
        Base64Case{unwrapped(longText()) + "\r\n", 1, longText()},  // one line of 4,000
        Base64Case{"YWJj\r\nZG Vm\r\n", 0, "abc"},                  // blank inside a line
        Base64Case{"YWJj\r\nZG*m\r\n", 0, "abc"},                   // not in the alphabet
        Base64Case{"YWJjZA", 1, "abcd"},                            // no padding, no line end
        Base64Case{"", 1, ""}));

TEST(Base64FileErrors, MissingInputGivesZero) {
  testsupport::TempDir dir;
  EXPECT_EQ(BSCFEM_D_DecodeBase64File(dir.file("missing").c_str(), dir.file("out").c_str()), 0);
  writeFile(dir.file("in"), "YWJj");
  EXPECT_EQ(BSCFEM_D_DecodeBase64File(dir.file("in").c_str(), dir.file("no/such/dir/out").c_str()),
            0);
}

// ---- One part ----

TEST(SavePart, NamesTheFileAfterTheSenderNameAndNumbersItWhenTaken) {
  testsupport::TempDir dir;
  std::string part =
      "Content-Type: "
      "application/"
      "msword;\r\n\tname=\"report.doc\"\r\nContent-Transfer-"
      "Encoding: base64\r\n\r\nYWJj\r\n";
  char partPath[1024];
  char encoding[1024];
  char parameters[1024];
  unsigned long error = 0;
  std::string text = part;
  ASSERT_EQ(
      BSCFEM_D_SaveBufferToDisk(text, dir.path().c_str(), partPath, encoding, parameters, error),
      1);
  EXPECT_EQ(std::string(partPath), dir.file("report.doc.tmp"));
  EXPECT_STREQ(encoding, "base64");
  EXPECT_STREQ(parameters, "name=\"report.doc\"");
  EXPECT_EQ(readFile(partPath), "YWJj\r\n");
  EXPECT_FALSE(fs::exists(dir.file("report.doc")));

  writeFile(dir.file("report.doc"), "older");
  text = part;
  ASSERT_EQ(
      BSCFEM_D_SaveBufferToDisk(text, dir.path().c_str(), partPath, encoding, parameters, error),
      1);
  EXPECT_EQ(std::string(partPath), dir.file("10-report.doc.tmp"));
  EXPECT_EQ(readFile(dir.file("report.doc")), "older");
}

TEST(SavePart, TextPartsGetTimeNamesAndQuotedPrintableIsDecoded) {
  testsupport::TempDir dir;
  char partPath[1024];
  char encoding[1024];
  char parameters[1024];
  unsigned long error = 0;
  std::string text =
      "Content-Type: text/html\r\nContent-Transfer-Encoding: "
      "Quoted-Printable\r\n\r\n<p>a=3Db=\r\nc</p>";
  ASSERT_EQ(
      BSCFEM_D_SaveBufferToDisk(text, dir.path().c_str(), partPath, encoding, parameters, error),
      1);
  EXPECT_TRUE(std::regex_match(fs::path(partPath).filename().string(),
                               std::regex("[0-9]+\\.[0-9]{3}[0-9]+\\.htm\\.tmp")))
      << partPath;
  EXPECT_EQ(readFile(partPath), "<p>a=bc</p>");
  EXPECT_STREQ(encoding, "Quoted-Printable");
}

// The part file's name by the Content-Type and Content-Disposition of the part:
// filename, then name, then file; a name that cannot be used gives the time
// name of a part that is not text ("<seconds><n>").
struct PartNameCase {
  const char* label;
  std::string header;
  const char* file;  // the part file without ".tmp"; null for a time name
};

void PrintTo(const PartNameCase& c, std::ostream* out) { *out << c.label; }

class SavePartName : public ::testing::TestWithParam<PartNameCase> {};

TEST_P(SavePartName, TakesTheFirstParameterThatNamesIt) {
  testsupport::TempDir dir;
  char partPath[1024];
  char encoding[1024];
  char parameters[1024];
  unsigned long error = 0;
  std::string text = GetParam().header + "\r\n\r\nbytes\r\n";
  ASSERT_EQ(
      BSCFEM_D_SaveBufferToDisk(text, dir.path().c_str(), partPath, encoding, parameters, error),
      1);
  if (GetParam().file != nullptr) {
    EXPECT_EQ(std::string(partPath), dir.file(GetParam().file) + ".tmp");
  } else {
    EXPECT_EQ(fs::path(partPath).parent_path(), fs::path(dir.path())) << partPath;
    EXPECT_TRUE(std::regex_match(fs::path(partPath).filename().string(),
                                 std::regex("[0-9]+\\.tmp")))
        << partPath;
  }
  EXPECT_EQ(readFile(partPath), "bytes\r\n");
  // Only the ".tmp" is written, and nothing outside the directory.
  EXPECT_EQ(filesIn(dir.path()).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, SavePartName,
    ::testing::Values(
        PartNameCase{"FileOnly", "Content-Type: application/octet-stream; file=\"data.bin\"",
                     "data.bin"},
        PartNameCase{"FileUnquotedAnyCase", "Content-Type: application/x; FILE=data.bin",
                     "data.bin"},
        PartNameCase{"NameBeforeFile",
                     "Content-Type: application/x; file=\"no.bin\"; name=\"yes.bin\"", "yes.bin"},
        PartNameCase{"FilenameBeforeFile",
                     "Content-Type: application/x; file=\"no.bin\"\r\n"
                     "Content-Disposition: attachment; filename=\"yes.bin\"",
                     "yes.bin"},
        PartNameCase{"FileUpTheTree", "Content-Type: application/x; file=\"../../x\"", "x"},
        PartNameCase{"FileBackslashes", "Content-Type: application/x; file=\"..\\\\..\\\\x\"",
                     "x"},
        PartNameCase{"FileEncodedCrLf",
                     "Content-Type: application/x; file=\"=?UTF-8?Q?a=0D=0Ab?=\"", nullptr},
        PartNameCase{"FileExtendedCrLf", "Content-Type: application/x; file*=UTF-8''a%0D%0Ab",
                     nullptr},
        PartNameCase{"NameExtendedCrLf", "Content-Type: application/x; name*=UTF-8''a%0D%0Ab",
                     nullptr},
        PartNameCase{"FileBareCr", "Content-Type: application/x; file=\"a\rb\"", nullptr},
        PartNameCase{"NameBareCr", "Content-Type: application/x; name=\"a\rb\"", nullptr},
        PartNameCase{"FileDotDot", "Content-Type: application/x; file=\"..\"", nullptr},
        PartNameCase{"NoName", "Content-Type: application/x; other=\"data.bin\"", nullptr}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- Whole messages: the walker, and the plug-in over the same corpus ----

struct CorpusMessage {
  const char* name;
  std::string text;
  // Named parts by their file name, and the bytes of every part (named or not).
  std::map<std::string, std::string> named;
  std::multiset<std::string> contents;
};

void PrintTo(const CorpusMessage& message, std::ostream* out) { *out << message.name; }

const std::string kPdf = std::string("%PDF-1.4\0\x01\x02\xff binary", 18);

std::vector<CorpusMessage> corpus() {
  std::vector<CorpusMessage> messages;
  messages.push_back({"SimpleMixed",
                      "From: a@x.cn\r\nContent-Type: multipart/mixed; "
                      "boundary=\"b1\"\r\n\r\npreamble\r\n"
                      "--b1\r\nContent-Type: text/plain\r\n\r\nhello\r\n"
                      "--b1\r\nContent-Type: application/pdf; "
                      "name=\"report.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                          base64(kPdf) + "\r\n--b1--\r\nepilogue\r\n",
                      {{"report.pdf", kPdf}},
                      {"hello", kPdf}});
  messages.push_back({"NestedAlternativeWithQuotedPrintable",
                      "Content-Type: Multipart/Mixed;\r\n boundary=outer\r\n\r\n"
                      "--outer\r\nContent-Type: multipart/alternative; "
                      "boundary=\"inner\"\r\n\r\n"
                      "--inner\r\nContent-Type: text/plain; "
                      "charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                      "caf=C3=A9 =\r\nsoft\r\n"
                      "--inner\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: "
                      "quoted-printable\r\n\r\n"
                      "<b>=E4=BD=A0</b>\r\n--inner--\r\n"
                      "--outer\r\nContent-Type: "
                      "application/octet-stream\r\nContent-Disposition: attachment; "
                      "filename=\"zero.bin\"\r\n"
                      "Content-Transfer-Encoding: "
                      "quoted-printable\r\n\r\nA=00B=FF\r\n--outer--\r\n",
                      {{"zero.bin", std::string("A\0B\xff", 4)}},
                      {"caf\xc3\xa9 soft", "<b>\xe4\xbd\xa0</b>", std::string("A\0B\xff", 4)}});
  messages.push_back({"Rfc2231AndEncodedWordNames",
                      "content-type: multipart/mixed; boundary=\"=_x y\"\r\n\r\n"
                      "--=_x y\r\nContent-Type: "
                      "application/octet-stream\r\nContent-Disposition: attachment;\r\n"
                      " filename*0*=UTF-8''%E6%8A%A5%E5%91%8A;\r\n "
                      "filename*1=\".doc\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                          base64("one") +
                          "--=_x y\r\nContent-Type: application/octet-stream; "
                          "name=\"=?UTF-8?B?5pWw5o2uLnR4dA==?=\"\r\n"
                          "Content-Transfer-Encoding: base64\r\n\r\n" +
                          base64("two") + "--=_x y--\r\n",
                      {{"报告.doc", "one"}, {"数据.txt", "two"}},
                      {"one", "two"}});
  messages.push_back({"LfLineEndsAndEightBitName",
                      "Content-Type: multipart/mixed; boundary=zz\n\n"
                      "--zz\nContent-Type: text/plain\n\nline one\nline two\n"
                      "--zz\nContent-Type: application/octet-stream; "
                      "name=\"résumé.bin\"\nContent-Transfer-Encoding: base64\n\n" +
                          base64("three") + "--zz--\n",
                      {{"résumé.bin", "three"}},
                      {"line one\nline two", "three"}});
  messages.push_back({"NoClosingDelimiter",
                      "Content-Type: multipart/mixed; "
                      "boundary=cut\r\n\r\n--cut\r\nContent-Type: text/plain\r\n\r\nfirst\r\n"
                      "--cut\r\nContent-Type: application/octet-stream; "
                      "name=last.bin\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                          base64("tail data"),
                      {{"last.bin", "tail data"}},
                      {"first", "tail data"}});
  messages.push_back({"HostileFileNames",
                      "Content-Type: multipart/mixed; boundary=h\r\n\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "name=\"../../escape.txt\"\r\n\r\nup\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "name=\"/etc/cron.d/evil\"\r\n\r\nabsolute\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "name=\"..\\\\..\\\\win.ini\"\r\n\r\nbackslash\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "name=\"=?UTF-8?Q?a=0Ab.txt?=\"\r\n\r\ncontrol\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "name=\"..\"\r\n\r\ndotdot\r\n--h--\r\n",
                      {{"escape.txt", "up"}, {"evil", "absolute"}, {"win.ini", "backslash"}},
                      {"up", "absolute", "backslash", "control", "dotdot"}});
  // A Content-Type "file" parameter names the part when "filename" and "name"
  // do not; it is decoded like them.
  messages.push_back({"FileParameterNames",
                      "Content-Type: multipart/mixed; boundary=f\r\n\r\n"
                      "--f\r\nContent-Type: text/plain\r\n\r\nunnamed\r\n"
                      "--f\r\nContent-Type: application/octet-stream; "
                      "file=\"data.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                          base64("data") +
                          "--f\r\nContent-Type: application/octet-stream; "
                          "file=\"not-this.bin\";\r\n name=\"by-name.bin\"\r\n\r\nname wins\r\n"
                          "--f\r\nContent-Type: application/octet-stream; "
                          "file=\"nor-this.bin\"\r\nContent-Disposition: attachment; "
                          "filename=\"by-filename.bin\"\r\n\r\nfilename wins\r\n"
                          "--f\r\nContent-Type: application/octet-stream; "
                          "FILE*=UTF-8''%E6%95%B0%E6%8D%AE.bin\r\n\r\nextended\r\n"
                          "--f\r\nContent-Type: application/octet-stream; "
                          "file=plain.bin\r\n\r\nunquoted\r\n--f--\r\n",
                      {{"data.bin", "data"},
                       {"by-name.bin", "name wins"},
                       {"by-filename.bin", "filename wins"},
                       {"数据.bin", "extended"},
                       {"plain.bin", "unquoted"}},
                      {"unnamed", "data", "name wins", "filename wins", "extended", "unquoted"}});
  // The same hostile names given by "file" are confined and cleaned as by
  // "name": the last path component only, nothing with a line break.
  messages.push_back({"HostileFileParameterNames",
                      "Content-Type: multipart/mixed; boundary=h\r\n\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "file=\"../../x\"\r\n\r\nup\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "file=\"/etc/cron.d/evil\"\r\n\r\nabsolute\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "file=\"..\\\\..\\\\win.ini\"\r\n\r\nbackslash\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "file=\"=?UTF-8?Q?a=0D=0Ab.txt?=\"\r\n\r\nencoded crlf\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "file*=UTF-8''c%0D%0Ad.txt\r\n\r\nextended crlf\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "name*=UTF-8''c%0D%0Ad.txt\r\n\r\nextended crlf by name\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "file=\"../\r\n ../folded.txt\"\r\n\r\nfolded\r\n"
                      "--h\r\nContent-Type: application/x; "
                      "file=\"../..\"\r\n\r\ndotdot\r\n--h--\r\n",
                      {{"x", "up"}, {"evil", "absolute"}, {"win.ini", "backslash"},
                       {"folded.txt", "folded"}},
                      {"up", "absolute", "backslash", "encoded crlf", "extended crlf",
                       "extended crlf by name", "folded", "dotdot"}});
  return messages;
}

class Corpus : public ::testing::TestWithParam<CorpusMessage> {};

// Checks what one decoder left in the directory against the message's
// expectation.
void expectDecoded(const CorpusMessage& message, const std::string& directory,
                   const std::vector<std::string>& files, bool unnamedCarryContentSuffix) {
  std::multiset<std::string> contents;
  for (const std::string& file : files) {
    EXPECT_EQ(fs::path(file).parent_path(), fs::path(directory)) << file;
    contents.insert(readFile(file));
  }
  EXPECT_EQ(contents, message.contents);
  for (const auto& [name, bytes] : message.named) {
    auto found = std::find(files.begin(), files.end(), directory + "/" + name);
    ASSERT_NE(found, files.end()) << name;
    EXPECT_EQ(readFile(*found), bytes);
  }
  // Nothing else (no ".tmp", nothing outside) is left behind.
  std::map<std::string, std::string> onDisk = filesIn(directory);
  EXPECT_EQ(onDisk.size(), files.size());
  if (unnamedCarryContentSuffix) {
    for (const std::string& file : files) {
      bool named = message.named.count(fs::path(file).filename().string()) > 0;
      EXPECT_EQ(file.size() > 8 && file.substr(file.size() - 8) == ".content", !named) << file;
    }
  }
}

TEST_P(Corpus, WalkerAndPluginGiveTheSameParts) {
  testsupport::TempDir dir;
  std::string path = dir.file("m.eml");
  writeFile(path, GetParam().text);
  fs::create_directory(dir.file("walker"));
  fs::create_directory(dir.file("plugin"));

  std::vector<std::string> walked;
  unsigned long error = 0;
  ASSERT_EQ(BSCFEM_D_WalkMimeMessage(path.c_str(), dir.file("walker").c_str(), walked, error), 1)
      << error;
  expectDecoded(GetParam(), dir.file("walker"), walked, false);

  std::vector<std::string> plugged;
  ASSERT_EQ(
      BSCFEM_D_GetAttachFileFromEmail(path.c_str(), dir.file("plugin").c_str(), plugged, error), 1)
      << error;
  expectDecoded(GetParam(), dir.file("plugin"), plugged, true);
}

INSTANTIATE_TEST_SUITE_P(Messages, Corpus, ::testing::ValuesIn(corpus()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeMessage, NeverOverwritesAndNumbersTakenNames) {
  testsupport::TempDir dir;
  std::string path = dir.file("m.eml");
  writeFile(path,
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\nContent-Type: application/msword; "
            "name=\"report.doc\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                base64("new") + "--b--\r\n");
  for (const char* sub : {"walker", "plugin"}) {
    std::string out = dir.file(sub);
    fs::create_directory(out);
    writeFile(out + "/report.doc", "older");
    writeFile(out + "/10-report.doc.tmp", "someone's temp");
    std::vector<std::string> files;
    unsigned long error = 0;
    int result = std::string(sub) == "walker"
                     ? BSCFEM_D_WalkMimeMessage(path.c_str(), out.c_str(), files, error)
                     : BSCFEM_D_GetAttachFileFromEmail(path.c_str(), out.c_str(), files, error);
    ASSERT_EQ(result, 1) << sub;
    EXPECT_EQ(files, std::vector<std::string>{out + "/11-report.doc"}) << sub;
    EXPECT_EQ(readFile(out + "/report.doc"), "older");
    EXPECT_EQ(readFile(out + "/10-report.doc.tmp"), "someone's temp");
    EXPECT_EQ(readFile(out + "/11-report.doc"), "new");
  }
}

TEST(DecodeMessage, EightBitDocBecomesTxtInTheFileNameOnly) {
  testsupport::TempDir dir;
  std::string out = dir.file("x.doc.d");
  fs::create_directory(out);
  writeFile(dir.file("m.eml"),
            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\nContent-Type: application/msword; "
            "name=\"a.doc.doc\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
            "text\r\n--b--\r\n");
  std::vector<std::string> files;
  unsigned long error = 0;
  ASSERT_EQ(BSCFEM_D_WalkMimeMessage(dir.file("m.eml").c_str(), out.c_str(), files, error), 1);
  EXPECT_EQ(files, std::vector<std::string>{out + "/a.doc.txt"});
}

struct WalkerFailureCase {
  const char* name;
  std::string text;
  unsigned long error;
  std::size_t pluginParts;  // what the plug-in makes of it
};

void PrintTo(const WalkerFailureCase& message, std::ostream* out) { *out << message.name; }

class WalkerFailure : public ::testing::TestWithParam<WalkerFailureCase> {};

TEST_P(WalkerFailure, WalkerGivesTheCodeAndThePluginStillDecodes) {
  testsupport::TempDir dir;
  writeFile(dir.file("m.eml"), GetParam().text);
  std::vector<std::string> files;
  unsigned long error = 0;
  EXPECT_EQ(BSCFEM_D_WalkMimeMessage(dir.file("m.eml").c_str(), dir.path().c_str(), files, error),
            0);
  EXPECT_EQ(error, GetParam().error);
  EXPECT_TRUE(files.empty());
  ASSERT_EQ(
      BSCFEM_D_GetAttachFileFromEmail(dir.file("m.eml").c_str(), dir.path().c_str(), files, error),
      1);
  EXPECT_EQ(files.size(), GetParam().pluginParts);
  for (const std::string& file : files)
    EXPECT_NE(readFile(file).find("the body"), std::string::npos) << file;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, WalkerFailure,
    ::testing::Values(
        WalkerFailureCase{"NotMultipart",
                          "Subject: s\r\nContent-Type: text/plain\r\n\r\nthe body\r\n", 36870, 1},
        WalkerFailureCase{"NoContentType", "Subject: s\r\n\r\nthe body\r\n", 36870, 1},
        WalkerFailureCase{"NoBoundaryParameter",
                          "Content-Type: multipart/mixed\r\n\r\n--x\r\n\r\nthe "
                          "body\r\n--x--\r\n",
                          36870, 1},
        WalkerFailureCase{"BoundaryNeverOccurs",
                          "Content-Type: multipart/mixed; "
                          "boundary=gone\r\n\r\n--other\r\n\r\nthe body\r\n",
                          36870, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeMessage, MissingMessageGives36868) {
  testsupport::TempDir dir;
  std::vector<std::string> files;
  unsigned long error = 0;
  EXPECT_EQ(BSCFEM_D_GetAttachFileFromEmail(dir.file("missing.eml").c_str(), dir.path().c_str(),
                                            files, error),
            0);
  EXPECT_EQ(error, 36868u);
}

}  // namespace
