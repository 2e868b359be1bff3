#include <gtest/gtest.h>

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

}  // namespace
