#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "platform/files.h"
#include "platform/last_error.h"
#include "temp_dir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

struct MatchCase {
  const char* pattern;
  const char* name;
  bool matches;
};

class Wildcard : public ::testing::TestWithParam<MatchCase> {};

TEST_P(Wildcard, MatchesLikeWindows) {
  EXPECT_EQ(platform::wildcardMatch(GetParam().pattern, GetParam().name), GetParam().matches)
      << GetParam().pattern << " vs " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Wildcard,
                         ::testing::Values(MatchCase{"*.*", "noext", true},
                                           MatchCase{"*.*", ".", true},
                                           MatchCase{"*.eml", "QV000000001.eml", true},
                                           MatchCase{"*.eml", "x.EML", true},
                                           MatchCase{"*.eml", "x.inf", false},
                                           MatchCase{"QV?.inf", "QV1.inf", true},
                                           MatchCase{"QV?.inf", "QV12.inf", false},
                                           MatchCase{"a*b*c", "aXXbYYc", true},
                                           MatchCase{"a*b*c", "aXXbYY", false},
                                           MatchCase{"name.*", "name", true},
                                           MatchCase{"exact", "exact", true}));

TEST(Files, FindFilesListsMatchesAndDirectories) {
  TempDir dir;
  writeFile(dir.file("a.eml"), "x");
  writeFile(dir.file("b.eml"), "x");
  writeFile(dir.file("c.inf"), "x");
  std::filesystem::create_directory(dir.file("sub"));

  auto eml = platform::findFiles(dir.path() + "/*.eml");
  EXPECT_EQ(eml.size(), 2u);

  auto all = platform::findFiles(dir.path() + "/*.*");
  auto sub = std::find_if(all.begin(), all.end(), [](auto& e) { return e.name == "sub"; });
  ASSERT_NE(sub, all.end());
  EXPECT_TRUE(sub->isDirectory);

  EXPECT_TRUE(platform::findFirstMatch(dir.path()));  // a directory matches itself
  EXPECT_TRUE(platform::findFirstMatch(dir.file("c.inf")));
  EXPECT_FALSE(platform::findFirstMatch(dir.file("*.txt")));
  EXPECT_FALSE(platform::findFirstMatch(dir.file("missing/*.*")));
}

TEST(Files, CreateDirectoryReportsExisting) {
  TempDir dir;
  EXPECT_TRUE(platform::createDirectory(dir.file("d")));
  EXPECT_FALSE(platform::createDirectory(dir.file("d")));
  EXPECT_EQ(platform::lastError(), platform::err::kAlreadyExists);
}

TEST(Files, ExecutableDirectoryHoldsThisProgram) {
  std::string d = platform::executableDirectory();
  EXPECT_TRUE(platform::isDirectory(d));
  const std::string path = platform::executablePath();
  ASSERT_GT(path.size(), d.size());
  EXPECT_EQ(path.rfind(d, 0), 0u);
  EXPECT_TRUE(path[d.size()] == '/' || path[d.size()] == '\\') << path;
}

#ifndef _WIN32
TEST(Files, PluginNamesMapToSharedObjects) {
  EXPECT_EQ(platform::sharedObjectName("Sorvane.dll"), "libSorvane.so");
  EXPECT_EQ(platform::sharedObjectName("Local.DLL"), "libLocal.so");
  EXPECT_EQ(platform::sharedObjectName("plain"), "libplain.so");
  EXPECT_EQ(platform::sharedObjectName("libx.so"), "libx.so");
}
#endif

TEST(Files, LoadedModuleAndPluginBesideExecutable) {
  auto self = platform::loadedModulePath("mailplatform.dll");
  ASSERT_TRUE(self.has_value());
#ifdef _WIN32
  EXPECT_NE(self->find("mailplatform.dll"), std::string::npos) << *self;
#else
  EXPECT_NE(self->find("libmailplatform.so"), std::string::npos);
#endif

  EXPECT_EQ(platform::loadLibrary("NoSuchPlugin.dll"), nullptr);
  void* plugin = platform::loadLibrary("TestPlugin.dll");
  ASSERT_NE(plugin, nullptr);
  auto answer = reinterpret_cast<int (*)()>(platform::librarySymbol(plugin, "TestPluginAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(platform::librarySymbol(plugin, "NoSuchSymbol"), nullptr);
  platform::freeLibrary(plugin);
}

#ifndef _WIN32
// An installed system: the plug-ins in "mailsignoff" beside the platform library, found by name.
TEST(Files, PluginInTheInstalledPluginFolder) {
  namespace fs = std::filesystem;
  auto self = platform::loadedModulePath("mailplatform.dll");
  ASSERT_TRUE(self.has_value());
  const fs::path folder = fs::path(*self).parent_path() / "mailsignoff";
  EXPECT_EQ(platform::pluginDirectory(), folder.string());

  const std::string name = "InstalledTestPlugin" + std::to_string(::getpid());
  const bool made = fs::create_directory(folder);
  const fs::path installed = folder / ("lib" + name + ".so");
  fs::copy_file(fs::path(platform::executableDirectory()) / "libTestPlugin.so", installed);
  void* plugin = platform::loadLibrary(name + ".dll");
  fs::remove(installed);
  if (made) fs::remove(folder);
  ASSERT_NE(plugin, nullptr);
  auto answer = reinterpret_cast<int (*)()>(platform::librarySymbol(plugin, "TestPluginAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  platform::freeLibrary(plugin);
}
#endif

}  // namespace
