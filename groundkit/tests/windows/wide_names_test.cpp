// Groundkit's file functions with names beyond the code page: the folder a message is decoded
// into, the message, its attachments and INI files keep their real names, and a name that is not
// UTF-8 fails instead of reaching the system mangled.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "groundkit/groundkit.h"
#include "groundkit/mime.h"
#include "platform/whole_file.h"
#include "temp_dir.h"

namespace {

// The system's own answer for the name, asked by its wide form.
bool existsAsNamed(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), wide.data(),
                                      static_cast<int>(wide.size()));
  if (n <= 0) return false;
  wide.resize(static_cast<std::size_t>(n));
  return ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class GroundkitWideNames : public ::testing::TestWithParam<const char*> {};

TEST_P(GroundkitWideNames, DecodeIntoAndWorkWithFilesOfThatName) {
  testsupport::TempDir dir;
  const std::string name = GetParam();
  const std::string folder = dir.file(name) + "\\" + name;
  ASSERT_EQ(BSCF_MakeDeepDirectory(folder.c_str()), 0);
  EXPECT_TRUE(existsAsNamed(folder));
  EXPECT_EQ(BSCF_IsFileExisted(folder.c_str()), 1);

  const std::string message = folder + "\\" + name + ".eml";
  ASSERT_TRUE(platform::replaceWholeFile(
      message,
      "Subject: x\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: text/plain; name=\"" +
          name + ".txt\"\r\nContent-Transfer-Encoding: base64\r\n\r\naGVsbG8=\r\n--b--\r\n"));
  MailHeaderMap header;
  unsigned long error = 0;
  ASSERT_EQ(BSCFEM_D_GetMailHeaderSec(message.c_str(), header, error), 1) << error;
  EXPECT_EQ(header.count("Subject"), 1u);

  const std::string out = folder + "\\" + name + " parts";
  ASSERT_EQ(BSCF_MakeDeepDirectory(out.c_str()), 0);
  std::vector<std::string> files;
  ASSERT_EQ(BSCFEM_D_WalkMimeMessage(message.c_str(), out.c_str(), files, error), 1) << error;
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(existsAsNamed(files[0])) << files[0];
  EXPECT_NE(files[0].find(name), std::string::npos) << files[0];
  std::string decoded;
  ASSERT_TRUE(platform::readWholeFile(files[0], decoded));
  EXPECT_EQ(decoded, "hello");

  const std::string base64 = folder + "\\" + name + ".b64";
  const std::string plain = folder + "\\" + name + ".bin";
  ASSERT_TRUE(platform::replaceWholeFile(base64, "aGVsbG8=\r\n"));
  ASSERT_EQ(BSCFEM_D_DecodeBase64File(base64.c_str(), plain.c_str()), 1);
  EXPECT_TRUE(existsAsNamed(plain));

  const std::string ini = folder + "\\" + name + ".ini";
  ASSERT_TRUE(platform::replaceWholeFile(ini, "[" + name + "]\r\nk=v\r\n"));
  std::vector<std::string> sections;
  EXPECT_EQ(BSCF_GetIniSecNameList(ini.c_str(), sections), 1);
  EXPECT_EQ(sections, std::vector<std::string>{name});

  for (const std::string& path : {message, base64, plain, ini, files[0]}) {
    EXPECT_EQ(BSCF_SafeDeleteFile(path.c_str()), 1) << path;
    EXPECT_FALSE(existsAsNamed(path)) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(Names, GroundkitWideNames,
                         ::testing::Values("HOME_张三", "季度报告", "mail 📬", "Zoë ÄRGER"));

TEST(GroundkitWideNamesInvalid, NamesThatAreNotUtf8AreNotCreated) {
  testsupport::TempDir dir;
  const std::string bad = dir.file("\xff\xfe");
  EXPECT_EQ(BSCF_MakeDeepDirectory(bad.c_str()), -1);
  EXPECT_EQ(BSCF_IsFileExisted(bad.c_str()), 0);
  std::vector<std::string> files;
  unsigned long error = 0;
  EXPECT_EQ(BSCFEM_D_WalkMimeMessage(bad.c_str(), dir.path().c_str(), files, error), 0);
  EXPECT_TRUE(files.empty());
}

}  // namespace
