// Paths are UTF-8 whatever the system's code page: names beyond it (Chinese, an emoji outside the
// BMP, letters with case) are created, listed, renamed, read back, locked and removed under their
// real names, and a name that is not UTF-8 fails instead of reaching the system mangled.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/append_file.h"
#include "platform/file_attributes.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/native_path.h"
#include "platform/new_file.h"
#include "platform/profile.h"
#include "platform/whole_file.h"
#include "temp_dir.h"

namespace {

using testsupport::TempDir;

constexpr unsigned long kNotUtf8 = 1113;  // ERROR_NO_UNICODE_TRANSLATION

// The same name as UTF-8 (what callers pass) and as the system stores it.
struct WideName {
  const char* label;
  const char* utf8;
  const wchar_t* wide;
};

std::wstring wideOf(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring wideIn(const TempDir& dir, const std::wstring& relative) {
  return wideOf(dir.path()) + L"\\" + relative;
}

// Asks the system itself, by the wide name, so that a name stored through the code page shows.
DWORD attributesOf(const TempDir& dir, const std::wstring& relative) {
  return ::GetFileAttributesW(wideIn(dir, relative).c_str());
}

std::vector<std::string> namesIn(const std::string& pattern) {
  std::vector<std::string> names;
  for (const platform::DirEntry& entry : platform::findFiles(pattern))
    if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

bool underWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The table below proves something only where the code page cannot hold these names.
TEST(WideNamesSetting, WineRunsWithACodePageOtherThanUtf8) {
  if (!underWine()) GTEST_SKIP() << "not under Wine";
  EXPECT_NE(::GetACP(), static_cast<UINT>(CP_UTF8));
}

class WideNames : public ::testing::TestWithParam<WideName> {};

TEST_P(WideNames, FilesAndFoldersKeepTheirNames) {
  TempDir dir;
  const std::string name = GetParam().utf8;
  const std::wstring wide = GetParam().wide;
  const std::string folder = dir.file(name);

  ASSERT_TRUE(platform::createDirectory(folder)) << platform::lastError();
  ASSERT_NE(attributesOf(dir, wide), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributesOf(dir, wide) & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(platform::isDirectory(folder));
  EXPECT_EQ(namesIn(dir.path() + "\\*"), std::vector<std::string>{name});

  // Written, replaced, appended to, read back.
  const std::string file = folder + "\\" + name + ".txt";
  ASSERT_TRUE(platform::replaceWholeFile(file, "first")) << platform::lastError();
  ASSERT_TRUE(platform::replaceWholeFile(file, "body")) << platform::lastError();
  ASSERT_TRUE(platform::appendToFile(file, " more"));
  EXPECT_NE(attributesOf(dir, wide + L"\\" + wide + L".txt"), INVALID_FILE_ATTRIBUTES);
  std::string contents;
  ASSERT_TRUE(platform::readWholeFile(file, contents)) << platform::lastError();
  EXPECT_EQ(contents, "body more");
  EXPECT_EQ(platform::regularFileSize(file), std::optional<std::uint64_t>(9));
  EXPECT_TRUE(platform::fileCreationTime(file).has_value());
  EXPECT_EQ(namesIn(folder + "\\*.TXT"), std::vector<std::string>{name + ".txt"});
  platform::DirEntry first;
  ASSERT_TRUE(platform::findFirstMatch(folder + "\\*", &first));

  // A new file is created once only; a second creation fails with 80.
  std::FILE* created = platform::createNewFile(folder + "\\new " + name);
  ASSERT_NE(created, nullptr) << platform::lastError();
  std::fclose(created);
  EXPECT_EQ(platform::createNewFile(folder + "\\new " + name), nullptr);
  EXPECT_EQ(platform::lastError(), platform::err::kFileExists);

  // Through the C library and the standard library as well.
  std::FILE* opened = platform::openFile(file, "rb");
  ASSERT_NE(opened, nullptr);
  char read[16] = {};
  EXPECT_EQ(std::fread(read, 1, sizeof read, opened), 9u);
  std::fclose(opened);
  std::error_code error;
  EXPECT_TRUE(std::filesystem::is_regular_file(platform::nativePath(file), error));
  EXPECT_EQ(platform::pathText(platform::nativePath(file)), file);

  // Renamed, then the old name is gone.
  const std::string renamed = folder + "\\" + name + " renamed.TXT";
  ASSERT_TRUE(platform::moveFile(file, renamed)) << platform::lastError();
  EXPECT_FALSE(platform::fileExists(file));
  EXPECT_NE(attributesOf(dir, wide + L"\\" + wide + L" renamed.TXT"), INVALID_FILE_ATTRIBUTES);

  // An INI file in that folder, written under its folder's lock.
  const std::string ini = folder + "\\" + name + ".ini";
  ASSERT_TRUE(
      platform::writePrivateProfileString(name.c_str(), "UserName", name.c_str(), ini.c_str()))
      << platform::lastError();
  EXPECT_EQ(platform::getPrivateProfileString(name.c_str(), "UserName", "", ini.c_str()), name);
  EXPECT_NE(attributesOf(dir, wide + L"\\" + wide + L".ini"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(platform::markFolderCustomized(folder)) << platform::lastError();

  // Removed.
  for (const std::string& path : {renamed, ini, folder + "\\new " + name}) {
    EXPECT_TRUE(platform::deleteFile(path)) << path << " " << platform::lastError();
    EXPECT_FALSE(platform::removeFile(path));
  }
  EXPECT_EQ(namesIn(folder + "\\*"), std::vector<std::string>{});
}

// A plug-in in such a folder loads, and the path of the loaded module comes back as UTF-8.
TEST_P(WideNames, LibrariesLoadFromThemAndNameTheirPath) {
  TempDir dir;
  const std::string folder = dir.file(GetParam().utf8);
  ASSERT_TRUE(platform::createDirectory(folder));
  const std::string plugin = folder + "\\" + GetParam().utf8 + ".dll";
  // Put there by the system under its wide name.
  const std::wstring wide = GetParam().wide;
  ASSERT_TRUE(::CopyFileW(wideOf(platform::executableDirectory() + "\\TestPlugin.dll").c_str(),
                          wideIn(dir, wide + L"\\" + wide + L".dll").c_str(), TRUE));
  void* library = platform::loadLibraryFile(plugin);
  ASSERT_NE(library, nullptr) << platform::lastError();
  EXPECT_NE(platform::librarySymbol(library, "TestPluginAnswer"), nullptr);
  const std::optional<std::string> loaded =
      platform::loadedModulePath(std::string(GetParam().utf8) + ".dll");
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(platform::pathText(platform::nativePath(*loaded).filename()),
            std::string(GetParam().utf8) + ".dll");
  platform::freeLibrary(library);
  EXPECT_TRUE(platform::deleteFile(plugin)) << platform::lastError();
}

INSTANTIATE_TEST_SUITE_P(
    Names, WideNames,
    ::testing::Values(WideName{"Chinese", "HOME_张三", L"HOME_张三"},
                      WideName{"Attachment", "季度报告（草稿）", L"季度报告（草稿）"},
                      WideName{"Emoji", "mail 📬 box", L"mail \U0001F4EC box"},
                      WideName{"MixedCase", "Zoë ÄRGER und Öl", L"Zoë ÄRGER und Öl"}),
    [](const ::testing::TestParamInfo<WideName>& info) { return std::string(info.param.label); });

// A name that is not UTF-8 never reaches the system: every call fails with 1113.
TEST(WideNamesInvalid, NamesThatAreNotUtf8FailWith1113) {
  TempDir dir;
  for (const std::string& bad : {std::string("\xff\xfe"), std::string("cut \xe5\xbc"),
                                 std::string("\xc0\xaf"), std::string("surrogate \xed\xa0\x80")}) {
    const std::string path = dir.file(bad);
    SCOPED_TRACE(path);
    EXPECT_FALSE(platform::createDirectory(path));
    EXPECT_EQ(platform::lastError(), kNotUtf8);
    EXPECT_FALSE(platform::replaceWholeFile(path, "x"));
    EXPECT_EQ(platform::lastError(), kNotUtf8);
    EXPECT_FALSE(platform::appendToFile(path, "x"));
    EXPECT_EQ(platform::lastError(), kNotUtf8);
    EXPECT_EQ(platform::createNewFile(path), nullptr);
    EXPECT_EQ(platform::lastError(), kNotUtf8);
    EXPECT_EQ(platform::openFile(path, "wb"), nullptr);
    EXPECT_EQ(platform::lastError(), kNotUtf8);
    std::string contents;
    EXPECT_FALSE(platform::readWholeFile(path, contents));
    EXPECT_EQ(platform::lastError(), kNotUtf8);
    EXPECT_TRUE(platform::findFiles(path + "\\*").empty());
    EXPECT_EQ(platform::lastError(), kNotUtf8);
    EXPECT_FALSE(platform::moveFile(dir.path(), path));
    EXPECT_EQ(platform::lastError(), kNotUtf8);
    EXPECT_FALSE(platform::fileExists(path));
    EXPECT_FALSE(platform::writePrivateProfileString("s", "k", "v", (path + "\\x.ini").c_str()));
  }
  EXPECT_EQ(namesIn(dir.path() + "\\*"), std::vector<std::string>{});
}

}  // namespace
