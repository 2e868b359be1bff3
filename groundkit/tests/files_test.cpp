#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "groundkit/groundkit.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

// A fresh directory for each test, removed with its contents afterwards.
class FilesTest : public ::testing::Test {
 protected:
  std::string path(const std::string& relative) const { return dir_.file(relative); }
  void writeFile(const std::string& relative, const std::string& bytes) const {
    testsupport::writeFile(path(relative), bytes);
  }

  testsupport::TempDir dir_;
  const std::string& root_ = dir_.path();
};

// ---- Taking paths apart ----

struct SplitCase {
  const char* fullPath;
  const char* directory;
  const char* fileName;
};

class PathSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(PathSplit, GivesDirectoryAndFileName) {
  char directory[1024] = "junk";
  char fileName[1024] = "junk";
  BSCF_GetFilePath(GetParam().fullPath, directory);
  int written = BSCF_GetFileName(GetParam().fullPath, fileName);
  EXPECT_STREQ(directory, GetParam().directory);
  EXPECT_STREQ(fileName, GetParam().fileName);
  EXPECT_EQ(written, static_cast<int>(std::strlen(GetParam().fileName)));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSplit,
    ::testing::Values(SplitCase{"/var/mail/in/QV1.eml", "/var/mail/in", "QV1.eml"},
                      SplitCase{"C:\\a\\b\\c.txt", "C:\\a\\b", "c.txt"},
                      SplitCase{"home/a\\b/c.txt", "home/a\\b", "c.txt"},
                      SplitCase{"relative/name", "relative", "name"},
                      SplitCase{"bare.txt", "", "bare.txt"},
                      SplitCase{"/in-root.txt", "/", "in-root.txt"},
                      SplitCase{"/var/mail/", "/var/mail", ""},
                      SplitCase{"C:\\a\\b\\", "C:\\a\\b", ""},
                      SplitCase{"", "", ""}));

TEST(PathOutputs, AreCutAtTheBoundedLength) {
  std::string longDirectory = "/" + std::string(1500, 'd');
  std::string longName = std::string(1500, 'n') + ".eml";
  std::string fullPath = longDirectory + "/" + longName;
  std::vector<char> directory(1100, '#');
  std::vector<char> fileName(1100, '#');

  BSCF_GetFilePath(fullPath.c_str(), directory.data());
  EXPECT_EQ(BSCF_GetFileName(fullPath.c_str(), fileName.data()), 1023);

  EXPECT_EQ(std::string(directory.data()), longDirectory.substr(0, 1023));
  EXPECT_EQ(std::string(fileName.data()), longName.substr(0, 1023));
  EXPECT_EQ(directory[1024], '#');
  EXPECT_EQ(fileName[1024], '#');
}

struct ExtensionCase {
  const char* path;
  const char* extension;
  const char* result;
};

class SetFileExt : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(SetFileExt, ReplacesOrAppendsTheExtension) {
  char path[256];
  std::strcpy(path, GetParam().path);
  BSCF_SetFileExt(path, GetParam().extension);
  EXPECT_STREQ(path, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Names, SetFileExt,
                         ::testing::Values(ExtensionCase{"HOME_bob/QV000000001.tmp", "eml", "HOME_bob/QV000000001.eml"},
                                           ExtensionCase{"QV000000001", "eml", "QV000000001.eml"},
                                           ExtensionCase{"archive.tar.gz", "zip", "archive.tar.zip"},
                                           ExtensionCase{"mail.d/QV1", "inf", "mail.d/QV1.inf"},
                                           ExtensionCase{"mail.d\\QV1", "inf", "mail.d\\QV1.inf"},
                                           ExtensionCase{"mail.d/QV1.tmp", "inf", "mail.d/QV1.inf"},
                                           ExtensionCase{"QV1.tmp", "", "QV1."},
                                           ExtensionCase{"", "eml", ""}));

// ---- Directories ----

TEST_F(FilesTest, MakeDeepDirectoryCreatesEveryLevelOnceWithEitherSeparator) {
  EXPECT_EQ(BSCF_MakeDeepDirectory(path("a/b/c").c_str()), 0);
  EXPECT_TRUE(fs::is_directory(path("a/b/c")));
  EXPECT_EQ(BSCF_MakeDeepDirectory(path("a/b/c").c_str()), -1);  // already there

  std::string backslashed = root_ + "\\x\\y\\z";
  EXPECT_EQ(BSCF_MakeDeepDirectory(backslashed.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(path("x/y/z")));
  EXPECT_EQ(BSCF_MakeDeepDirectory(backslashed.c_str()), -1);

  EXPECT_EQ(BSCF_MakeDeepDirectory(path("t/u/").c_str()), 0);  // a trailing separator names the same directory
  EXPECT_TRUE(fs::is_directory(path("t/u")));

  EXPECT_EQ(BSCF_MakeDeepDirectory(""), -1);
}

TEST_F(FilesTest, MakeDeepDirectoryWorksRelativeToTheCurrentDirectory) {
  fs::path previous = fs::current_path();
  fs::current_path(root_);
  int first = BSCF_MakeDeepDirectory("HOME_bob\\Queue");
  int second = BSCF_MakeDeepDirectory("HOME_bob/Queue");
  fs::current_path(previous);

  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, -1);
  EXPECT_TRUE(fs::is_directory(path("HOME_bob/Queue")));
}

TEST_F(FilesTest, MakeDeepDirectoryFailsBelowAFile) {
  writeFile("plain", "x");
  EXPECT_EQ(BSCF_MakeDeepDirectory(path("plain/sub").c_str()), -1);
}

TEST_F(FilesTest, IsLegalDirectoryNameAcceptsExistingAndCreatableDirectories) {
  EXPECT_EQ(BSCF_IsLegalDirectoryName(root_.c_str()), 1);
  EXPECT_EQ(BSCF_IsLegalDirectoryName(path("new").c_str()), 1);
  EXPECT_TRUE(fs::is_directory(path("new")));
  EXPECT_EQ(BSCF_IsLegalDirectoryName(path("deep\\er\\still").c_str()), 1);
  EXPECT_TRUE(fs::is_directory(path("deep/er/still")));
  EXPECT_EQ(BSCF_IsLegalDirectoryName(path("deep\\er\\still").c_str()), 1);  // and again, now that it exists
  EXPECT_EQ(BSCF_IsLegalDirectoryName(path("new/").c_str()), 1);

  writeFile("plain", "x");
  EXPECT_EQ(BSCF_IsLegalDirectoryName(path("plain/sub").c_str()), 0);
  EXPECT_EQ(BSCF_IsLegalDirectoryName(""), 0);
}

// ---- Files ----

TEST_F(FilesTest, IsFileExistedFindsFilesDirectoriesAndPatterns) {
  writeFile("QV1.eml", "x");
  fs::create_directory(path("sub"));

  EXPECT_EQ(BSCF_IsFileExisted(path("QV1.eml").c_str()), 1);
  EXPECT_EQ(BSCF_IsFileExisted(path("sub").c_str()), 1);
  EXPECT_EQ(BSCF_IsFileExisted(path("*.eml").c_str()), 1);
  EXPECT_EQ(BSCF_IsFileExisted(path("QV?.EML").c_str()), 1);
  EXPECT_EQ(BSCF_IsFileExisted(path("*.inf").c_str()), 0);
  EXPECT_EQ(BSCF_IsFileExisted(path("missing.eml").c_str()), 0);
  EXPECT_EQ(BSCF_IsFileExisted(""), 0);
  EXPECT_EQ(BSCF_IsFileExisted(nullptr), 0);
}

TEST_F(FilesTest, SafeDeleteFileDeletesOnlyWhatExists) {
  writeFile("QV1.eml", "x");
  fs::create_directory(path("sub"));

  EXPECT_EQ(BSCF_SafeDeleteFile(path("QV1.eml").c_str()), 1);
  EXPECT_FALSE(fs::exists(path("QV1.eml")));
  EXPECT_EQ(BSCF_SafeDeleteFile(path("QV1.eml").c_str()), 0);
  EXPECT_EQ(BSCF_SafeDeleteFile(path("sub").c_str()), 0);  // directories are not files
  EXPECT_TRUE(fs::is_directory(path("sub")));
}

TEST(ApplicationPath, IsTheDirectoryOfTheModuleOrElseOfTheExecutable) {
#ifdef _WIN32
  const std::string library = "Groundkit.dll";
  std::string executableDirectory = platform::executableDirectory();
#else
  const std::string library = "libGroundkit.so";
  std::string executableDirectory = fs::canonical("/proc/self/exe").parent_path().string();
#endif
  char directory[1024];

  BSCF_GetApplicationPath("", directory);
  EXPECT_EQ(directory, executableDirectory);
  BSCF_GetApplicationPath(nullptr, directory);
  EXPECT_EQ(directory, executableDirectory);
  BSCF_GetApplicationPath("NotLoaded.dll", directory);
  EXPECT_EQ(directory, executableDirectory);

  BSCF_GetApplicationPath("Groundkit.dll", directory);
  EXPECT_TRUE(fs::exists(fs::path(directory) / library)) << directory;
}

// ---- INI section names ----

TEST_F(FilesTest, IniSectionNamesAreAppendedInFileOrder) {
  writeFile("Signer.ini",
            "; settings\n"
            "[Login]\n"
            "User=bob\n"
            "[Server]\r\n"
            "Host=mail.example.com\r\n"
            "\n"
            "[Queue Options]\n"
            " [indented]\n"
            "[unclosed\n"
            "Key=[value]\n"
            "[Last]");
  std::vector<std::string> sections{"kept"};

  EXPECT_EQ(BSCF_GetIniSecNameList(path("Signer.ini").c_str(), sections), 5);
  EXPECT_EQ(sections, (std::vector<std::string>{"kept", "Login", "Server", "Queue Options", "Last"}));
}

TEST_F(FilesTest, IniSectionNamesOfAMissingFileLeaveTheArray) {
  std::vector<std::string> sections{"kept"};
  EXPECT_EQ(BSCF_GetIniSecNameList(path("missing.ini").c_str(), sections), 1);
  EXPECT_EQ(sections, std::vector<std::string>{"kept"});
}

// ---- Ordered insertion ----

struct InsertCase {
  std::vector<std::string> before;
  const char* text;
  int sorted;
  std::vector<std::string> after;
};

class InsertByOrder : public ::testing::TestWithParam<InsertCase> {};

TEST_P(InsertByOrder, KeepsSortedArraysSortedAndAppendsOtherwise) {
  std::vector<std::string> array = GetParam().before;
  BSCF_InsertStringToArrayByOrder(array, GetParam().text, GetParam().sorted);
  EXPECT_EQ(array, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Arrays, InsertByOrder,
    ::testing::Values(InsertCase{{}, "m", 1, {"m"}},
                      InsertCase{{}, "m", 0, {"m"}},
                      InsertCase{{"b", "d"}, "a", 1, {"a", "b", "d"}},
                      InsertCase{{"b", "d"}, "c", 1, {"b", "c", "d"}},
                      InsertCase{{"b", "d"}, "e", 1, {"b", "d", "e"}},
                      InsertCase{{"b", "d"}, "a", 0, {"b", "d", "a"}},
                      InsertCase{{"b", "b", "c"}, "b", 1, {"b", "b", "b", "c"}},
                      InsertCase{{"Zed", "apple"}, "Mango", 1, {"Mango", "Zed", "apple"}},    // byte order, case counts
                      InsertCase{{"abc", "\xe4\xb8\xbb"}, "x", 1, {"abc", "x", "\xe4\xb8\xbb"}}));  // bytes are unsigned

}  // namespace
