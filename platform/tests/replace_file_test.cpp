#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/last_error.h"
#include "platform/replace_file.h"
#include "temp_dir.h"

namespace {

TEST(ReplaceFile, WritesBytesWholeAndLeavesNoTemporaryFile) {
  testsupport::TempDir dir;
  const std::string path = dir.file("a.eml");
  const std::string bytes("a\0b\r\n\xB0\xA1", 7);
  ASSERT_TRUE(platform::replaceFileContents(path, "old contents, longer than the new ones"));
  ASSERT_TRUE(platform::replaceFileContents(path, bytes));
  EXPECT_EQ(testsupport::readFile(path), bytes);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(ReplaceFile, MissingDirectoryFailsWithPathNotFound) {
  testsupport::TempDir dir;
  platform::setLastError(0);
  EXPECT_FALSE(platform::replaceFileContents(dir.file("none/a.eml"), "x"));
  EXPECT_EQ(platform::lastError(), platform::err::kPathNotFound);
}

}  // namespace
