// Runs from a directory without the decoding plug-in: the MIME walker does the
// work alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "groundkit/groundkit.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

TEST(WithoutPlugin, TheWalkerTakesTheMessageApart) {
  void* plugin = platform::loadLibrary("Sorvane.dll");
  ASSERT_EQ(plugin, nullptr) << "the plug-in must not be reachable from this test";
  testsupport::TempDir dir;
  testsupport::writeFile(dir.file("m.eml"),
                         "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: "
                         "text/plain\r\n\r\nhello\r\n"
                         "--b\r\nContent-Type: application/octet-stream; "
                         "name=a.bin\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                         "YWJj\r\n--b--\r\n");
  std::vector<std::string> files;
  unsigned long error = 0;
  ASSERT_EQ(
      BSCFEM_D_GetAttachFileFromEmail(dir.file("m.eml").c_str(), dir.path().c_str(), files, error),
      1);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(testsupport::readFile(files[0]), "hello");
  EXPECT_EQ(files[1], dir.file("a.bin"));
  EXPECT_EQ(testsupport::readFile(files[1]), "abc");

  // What only the plug-in could take apart now fails with the walker's code.
  testsupport::writeFile(dir.file("plain.eml"), "Subject: s\r\n\r\nbody\r\n");
  files.clear();
  EXPECT_EQ(BSCFEM_D_GetAttachFileFromEmail(dir.file("plain.eml").c_str(), dir.path().c_str(),
                                            files, error),
            0);
  EXPECT_EQ(error, 36870u);
}

}  // namespace
