#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/last_error.h"
#include "platform/whole_file.h"
#include "temp_dir.h"

namespace {

TEST(WholeFile, ReadsBytesAndReportsWindowsErrors) {
  testsupport::TempDir dir;
  std::string bytes("a\0b\r\nc", 6);
  testsupport::writeFile(dir.file("f"), bytes);
  std::string got;
  ASSERT_TRUE(platform::readWholeFile(dir.file("f"), got));
  EXPECT_EQ(got, bytes);

  struct Case {
    std::string path;
    unsigned long error;
  } cases[] = {{dir.file("missing"), platform::err::kFileNotFound},
               {dir.file("f/inside"), platform::err::kPathNotFound},
               {dir.path(), platform::err::kAccessDenied}};
  for (const Case& c : cases) {
    platform::setLastError(0);
    EXPECT_FALSE(platform::readWholeFile(c.path, got)) << c.path;
    EXPECT_EQ(platform::lastError(), c.error) << c.path;
  }
}

TEST(WholeFile, ReplaceKeepsPermissionsAndLeavesNoTemporaryFile) {
  testsupport::TempDir dir;
  std::string path = dir.file("f");
  ASSERT_TRUE(platform::replaceWholeFile(path, "first"));
#ifndef _WIN32  // Windows files have no permission bits to keep
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
#endif
  ASSERT_TRUE(platform::replaceWholeFile(path, std::string("se\0cond", 7)));
  EXPECT_EQ(testsupport::readFile(path), std::string("se\0cond", 7));
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
#endif
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  EXPECT_FALSE(platform::replaceWholeFile(dir.file("no/such/f"), "x"));
  EXPECT_EQ(platform::lastError(), platform::err::kPathNotFound);
}

}  // namespace
