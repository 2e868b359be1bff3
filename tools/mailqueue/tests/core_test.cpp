// The parts of mailqueue that need no server: the transfer form of a message file, the spool,
// the settings and the growing retry delay, the listing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "listing.h"
#include "settings.h"
#include "spool.h"
#include "temp_dir.h"

namespace mailqueue {
namespace {

TEST(TransferForm, LineEndsAndLeadingDots) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\r\nb", "a\r\nb\r\n"},
      {"lone\rcr\r\n", "lone\r\ncr\r\n"},
      {".\n", "..\r\n"},
      {".hidden\n..two\nmid.dot\n", "..hidden\r\n...two\r\nmid.dot\r\n"},
      {"x\r\n.\r\n", "x\r\n..\r\n"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(toTransferForm(in), out) << in;
}

TEST(Spool, OneFileAndALinkPerFurtherMission) {
  testsupport::TempDir dir;
  std::vector<std::string> paths;
  std::string why;
  ASSERT_TRUE(storeInSpool(dir.file("spool/deep"), "message\r\n", 3, paths, why)) << why;
  ASSERT_EQ(paths.size(), 3u);
  struct stat first {};
  ASSERT_EQ(::stat(paths[0].c_str(), &first), 0);
  EXPECT_EQ(first.st_nlink, 3u);
  for (const std::string& path : paths) EXPECT_EQ(testsupport::readFile(path), "message\r\n");
  removeFromSpool(paths[1]);
  EXPECT_EQ(testsupport::readFile(paths[2]), "message\r\n");
  // No temporary name is left behind.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("spool/deep"))) {
    EXPECT_EQ(entry.path().extension(), ".eml") << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 2u);
}

TEST(Settings, DefaultsValuesAndTheGrowingDelay) {
  testsupport::TempDir dir;
  const std::string file = dir.file("q.ini");
  testsupport::writeFile(file,
                         "[Delivery]\nSpool=out/../mail\nRetryDelay=10\nMaxRetryDelay=50\n"
                         "MaxTries=abc\nLease=-5\nBatchSize=7\n");
  const Settings settings = loadSettings(file);
  EXPECT_EQ(settings.spool, dir.file("mail"));
  EXPECT_EQ(settings.maxTries, 6);
  EXPECT_EQ(settings.lease, 600);
  EXPECT_EQ(settings.batchSize, 7);
  const std::vector<long> delays = {10, 20, 40, 50, 50};
  for (int tries = 1; tries <= 5; ++tries)
    EXPECT_EQ(retryDelayAfter(settings, tries), delays[tries - 1]) << tries;
}

TEST(Settings, TheDefaultFileIsWrittenWhereNoneIsGiven) {
  testsupport::TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  ::unsetenv("MAILQUEUE_SETTINGS");
  std::string file, note, why;
  EXPECT_TRUE(locateSettings("", file, note, why)) << why;
  EXPECT_EQ(file, dir.file("mailqueue.ini"));
  EXPECT_FALSE(note.empty());
  EXPECT_EQ(testsupport::readFile(file), kDefaultSettings);
  EXPECT_EQ(loadSettings(file).spool, dir.file("spool"));
  note.clear();
  EXPECT_TRUE(locateSettings("", file, note, why));
  EXPECT_TRUE(note.empty());
  EXPECT_FALSE(locateSettings(dir.file("missing.ini"), file, note, why));
  std::filesystem::current_path(previous);
}

TEST(Listing, ValuesFromTheQueueStayOnTheirLine) {
  tagQueuedMission mission;
  mission.sMissionID = "host.1.2";
  mission.sMailTo = "bob@example.test";
  mission.sLastReply = "550 no\r\nsuch \"user\"\\";
  mission.nState = 4;
  mission.nTries = 3;
  std::ostringstream table, json;
  writeTable({mission}, 0, table);
  const std::string text = table.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  EXPECT_NE(text.find("failed"), std::string::npos);
  writeJson({mission}, json);
  EXPECT_NE(json.str().find(R"("lastReply": "550 no\u000d\u000asuch \"user\"\\")"),
            std::string::npos)
      << json.str();
  EXPECT_EQ(stateName(9), "state 9");
}

}  // namespace
}  // namespace mailqueue
