#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/last_error.h"
#include "platform/profile.h"
#include "temp_dir.h"

using platform::ProfileFile;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

struct ReadCase {
  const char* name;
  const char* text;
  const char* section;
  const char* key;
  std::optional<std::string> expected;
};

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, FindsValueAsWindowsDoes) {
  const ReadCase& c = GetParam();
  ProfileFile p;
  p.parse(c.text);
  EXPECT_EQ(p.value(c.section, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    ::testing::Values(
        ReadCase{"plain", "[Login]\r\nUser=alice\r\n", "Login", "User", "alice"},
        ReadCase{"sectionCase", "[LOGIN]\r\nUser=alice\r\n", "login", "User", "alice"},
        ReadCase{"keyCase", "[Login]\r\nuSeR=alice\r\n", "Login", "USER", "alice"},
        ReadCase{"blanksAroundKeyAndValue", "[Login]\r\n  User \t=   alice smith  \r\n", "Login",
                 "User", "alice smith"},
        ReadCase{"blanksInHeader", "  [ Login ]  \r\nUser=a\r\n", "Login", "User", "a"},
        ReadCase{"doubleQuotes", "[s]\r\nk=\"  quoted  \"\r\n", "s", "k", "  quoted  "},
        ReadCase{"singleQuotes", "[s]\r\nk='x'\r\n", "s", "k", "x"},
        ReadCase{"unmatchedQuotes", "[s]\r\nk=\"x'\r\n", "s", "k", "\"x'"},
        ReadCase{"onlyOnePairRemoved", "[s]\r\nk=\"\"x\"\"\r\n", "s", "k", "\"x\""},
        ReadCase{"loneQuote", "[s]\r\nk=\"\r\n", "s", "k", "\""},
        ReadCase{"emptyValue", "[s]\r\nk=\r\n", "s", "k", ""},
        ReadCase{"valueWithEquals", "[s]\r\nk=a=b=c\r\n", "s", "k", "a=b=c"},
        ReadCase{"firstKeyWins", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1"},
        ReadCase{"firstSectionWins", "[s]\r\na=1\r\n[S]\r\nk=2\r\n", "s", "k", std::nullopt},
        ReadCase{"missingSection", "[s]\r\nk=1\r\n", "t", "k", std::nullopt},
        ReadCase{"missingKey", "[s]\r\nk=1\r\n", "s", "x", std::nullopt},
        ReadCase{"commentIsNoKey", "[s]\r\n;k=1\r\nk=2\r\n", "s", ";k", std::nullopt},
        ReadCase{"lineWithoutEquals", "[s]\r\nk\r\nk=2\r\n", "s", "k", "2"},
        ReadCase{"keyBeforeAnySection", "k=1\r\n[s]\r\n", "s", "k", std::nullopt},
        ReadCase{"lfLineEnds", "[s]\nk=v\n", "s", "k", "v"},
        ReadCase{"noFinalLineEnd", "[s]\r\nk=v", "s", "k", "v"},
        ReadCase{"eightBitBytes", "[s]\r\nk=\xd6\xf7\xb9\xdc\r\n", "s", "k", "\xd6\xf7\xb9\xdc"},
        ReadCase{"keyInOtherSection", "[a]\r\nk=1\r\n[b]\r\nj=2\r\n", "b", "k", std::nullopt}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

struct WriteCase {
  const char* name;
  const char* before;
  const char* section;
  const char* key;
  const char* value;  // null removes the key; a null key removes the section
  const char* after;
};

class ProfileWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyWhatItMust) {
  const WriteCase& c = GetParam();
  TempDir dir;
  std::string file = dir.file("x.ini");
  if (c.before) writeFile(file, c.before);
  ASSERT_TRUE(platform::writePrivateProfileString(c.section, c.key, c.value, file.c_str()));
  EXPECT_EQ(readFile(file), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWrite,
    ::testing::Values(
        WriteCase{"newFile", nullptr, "Login", "User", "alice", "[Login]\r\nUser=alice\r\n"},
        WriteCase{"replaceInPlaceKeepsOthers",
                  "; top comment\r\n[Login]\r\n  User = old ; x\r\nPort=110\r\n",
                  "login", "USER", "new",
                  "; top comment\r\n[Login]\r\nUser=new\r\nPort=110\r\n"},
        WriteCase{"addKeyAtEndOfSection", "[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n", "a", "z", "3",
                  "[a]\r\nx=1\r\nz=3\r\n\r\n[b]\r\ny=2\r\n"},
        WriteCase{"addSectionAtEnd", "[a]\r\nx=1\r\n", "b", "y", "2", "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
        WriteCase{"addSectionAfterLineWithoutEnd", "[a]\r\nx=1", "b", "y", "2",
                  "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
        WriteCase{"followsLfFiles", "[a]\nx=1\n", "a", "y", "2", "[a]\nx=1\ny=2\n"},
        WriteCase{"onlyFirstDuplicateChanged", "[a]\r\nk=1\r\n[A]\r\nk=2\r\n", "a", "k", "9",
                  "[a]\r\nk=9\r\n[A]\r\nk=2\r\n"},
        WriteCase{"commentsKept", "[a]\r\n; keep me\r\nk=1\r\n;; and me\r\n", "a", "j", "2",
                  "[a]\r\n; keep me\r\nk=1\r\n;; and me\r\nj=2\r\n"},
        WriteCase{"removeKey", "[a]\r\nk=1\r\nj=2\r\n", "a", "k", nullptr, "[a]\r\nj=2\r\n"},
        WriteCase{"removeSection", "[a]\r\nk=1\r\n[b]\r\nj=2\r\n", "a", nullptr, nullptr,
                  "[b]\r\nj=2\r\n"},
        WriteCase{"valueBytesKept", "[a]\r\n", "a", "k", " \"q\" \xb1\xa3 ",
                  "[a]\r\nk= \"q\" \xb1\xa3 \r\n"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST(Profile, MissingFileGivesDefaults) {
  TempDir dir;
  std::string file = dir.file("absent.ini");
  EXPECT_EQ(platform::getPrivateProfileString("s", "k", "dflt", file.c_str()), "dflt");
  EXPECT_EQ(platform::getPrivateProfileInt("s", "k", 42, file.c_str()), 42);
  EXPECT_TRUE(platform::getPrivateProfileSectionNames(file.c_str()).empty());
}

TEST(Profile, IntegerReadsLeadingDigitsWithSign) {
  TempDir dir;
  std::string file = dir.file("n.ini");
  writeFile(file, "[s]\r\na=123abc\r\nb= -45\r\nc=+7\r\nd=x9\r\ne=\r\n");
  EXPECT_EQ(platform::getPrivateProfileInt("s", "a", 0, file.c_str()), 123);
  EXPECT_EQ(platform::getPrivateProfileInt("s", "b", 0, file.c_str()), -45);
  EXPECT_EQ(platform::getPrivateProfileInt("s", "c", 0, file.c_str()), 7);
  EXPECT_EQ(platform::getPrivateProfileInt("s", "d", 5, file.c_str()), 0);
  EXPECT_EQ(platform::getPrivateProfileInt("s", "e", 5, file.c_str()), 5);
}

TEST(Profile, BufferReadTruncatesLikeWindows) {
  TempDir dir;
  std::string file = dir.file("b.ini");
  writeFile(file, "[s]\r\nk=abcdef\r\n[t]\r\n");
  char buf[4];
  EXPECT_EQ(platform::getPrivateProfileString("s", "k", "", buf, sizeof buf, file.c_str()), 3u);
  EXPECT_STREQ(buf, "abc");
  char names[32];
  unsigned long n = platform::getPrivateProfileString(nullptr, nullptr, "", names, sizeof names, file.c_str());
  EXPECT_EQ(std::string(names, n), std::string("s\0t\0", 4));
}

TEST(Profile, SectionNamesInFileOrder) {
  ProfileFile p;
  p.parse("x=1\r\n[One]\r\na=1\r\n[two]\r\n[ Three ]\r\n");
  EXPECT_EQ(p.sectionNames(), (std::vector<std::string>{"One", "two", "Three"}));
}

TEST(Profile, LineBreakInValueIsRefused) {
  TempDir dir;
  std::string file = dir.file("v.ini");
  writeFile(file, "[s]\r\nk=1\r\n");
  EXPECT_FALSE(platform::writePrivateProfileString("s", "k", "x\r\n[evil]", file.c_str()));
  EXPECT_EQ(readFile(file), "[s]\r\nk=1\r\n");
}

TEST(Profile, SaveReplacesByRenameAndLeavesNoTemporaryFile) {
  TempDir dir;
  std::string file = dir.file("r.ini");
  writeFile(file, "[s]\r\nk=1\r\n");
  ASSERT_TRUE(platform::writePrivateProfileString("s", "k", "2", file.c_str()));
  auto entries = platform::getPrivateProfileSectionNames(file.c_str());
  EXPECT_EQ(entries.size(), 1u);
  int count = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) (void)e, ++count;
  EXPECT_EQ(count, 1);
}

TEST(Profile, SaveIntoMissingDirectoryFailsWithLastError) {
  TempDir dir;
  std::string file = dir.file("no/such/dir/x.ini");
  EXPECT_FALSE(platform::writePrivateProfileString("s", "k", "v", file.c_str()));
  EXPECT_EQ(platform::lastError(), platform::err::kPathNotFound);
}

TEST(Profile, BatchOfManyKeysRoundTrips) {
  ProfileFile p;
  for (int s = 0; s < 300; ++s)
    for (int k = 0; k < 8; ++k)
      p.setValue("Rule" + std::to_string(s), "Key" + std::to_string(k), std::to_string(s * k));
  ProfileFile q;
  q.parse(p.serialize());
  EXPECT_EQ(q.sectionNames().size(), 300u);
  EXPECT_EQ(q.value("rule299", "key7"), std::to_string(299 * 7));
  EXPECT_EQ(q.keyNames("Rule5").size(), 8u);
}

// Names and values a writer must refuse because the file would not read them back as written:
// they would add keys or sections, be read as a comment or another key, or be trimmed.
struct NameCase {
  const char* name;
  std::string_view section;
  std::string_view key;
  std::string_view value;
  bool refused;
};

class ProfileNames : public ::testing::TestWithParam<NameCase> {
 protected:
  TempDir dir;
  std::string file = dir.file("names.ini");
  const std::string before = "[s]\r\nk=1\r\n";
  void SetUp() override { writeFile(file, before); }

  // A value that was written reads back, and writing it again changes nothing.
  void expectReadBack(const NameCase& c) {
    std::string sec(c.section), key(c.key);
    EXPECT_EQ(platform::getPrivateProfileString(sec.c_str(), key.c_str(), "<none>", file.c_str()),
              std::string(c.value));
    std::string once = readFile(file);
    ASSERT_TRUE(platform::writePrivateProfileString(sec.c_str(), key.c_str(),
                                                    std::string(c.value).c_str(), file.c_str()));
    EXPECT_EQ(readFile(file), once) << "a second write must not add a copy";
  }
};

TEST_P(ProfileNames, SingleValueWriter) {
  const NameCase& c = GetParam();
  for (std::string_view text : {c.section, c.key, c.value})
    if (text.find('\0') != std::string_view::npos) GTEST_SKIP() << "a zero byte ends a C string";
  std::string sec(c.section), key(c.key), value(c.value);
  platform::setLastError(0);
  bool written =
      platform::writePrivateProfileString(sec.c_str(), key.c_str(), value.c_str(), file.c_str());
  if (c.refused) {
    EXPECT_FALSE(written);
    EXPECT_EQ(platform::lastError(), 87u);
    EXPECT_EQ(readFile(file), before);
  } else {
    ASSERT_TRUE(written);
    expectReadBack(c);
  }
}

TEST_P(ProfileNames, BatchWriter) {
  const NameCase& c = GetParam();
  ProfileFile p;
  ASSERT_TRUE(p.load(file));
  platform::setLastError(0);
  bool set = p.setValue(c.section, c.key, c.value);
  if (c.refused) {
    EXPECT_FALSE(set);
    EXPECT_EQ(platform::lastError(), 87u);
    EXPECT_EQ(p.serialize(), before);
  } else {
    ASSERT_TRUE(set);
    ASSERT_TRUE(p.save(file));
    expectReadBack(c);
  }
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileNames,
    ::testing::Values(
        NameCase{"valueWithCrLfAddsAKey", "s", "k", "x\r\nBcc=spy@evil.test", true},
        NameCase{"valueWithLf", "s", "k", "x\n[evil]", true},
        NameCase{"valueWithCr", "s", "k", "x\ry", true},
        NameCase{"valueWithNul", "s", "k", "x\0y"sv, true},
        NameCase{"sectionWithBracket", "a]b", "k", "v", true},
        NameCase{"sectionWithLineBreak", "a\r\n[b", "k", "v", true},
        NameCase{"sectionWithNul", "a\0b"sv, "k", "v", true},
        NameCase{"sectionWithLeadingBlank", " a", "k", "v", true},
        NameCase{"sectionWithTrailingTab", "a\t", "k", "v", true},
        NameCase{"emptySection", "", "k", "v", true},
        NameCase{"keyWithEquals", "s", "x=y", "v", true},
        NameCase{"keyLikeAComment", "s", ";k", "v", true},
        NameCase{"keyLikeASection", "s", "[k]", "v", true},
        NameCase{"keyOpeningABracket", "s", "[k", "v]", true},
        NameCase{"emptyKey", "s", "", "v", true},
        NameCase{"keyWithLeadingBlank", "s", " k", "v", true},
        NameCase{"keyWithTrailingBlank", "s", "k ", "v", true},
        NameCase{"keyWithLineBreak", "s", "k\nj", "v", true},
        NameCase{"keyWithNul", "s", "k\0j"sv, "v", true},
        NameCase{"sectionOpeningWithBracket", "[a", "k", "v", false},
        NameCase{"sectionWithSeparatorsInside", "a=b;c|d e", "k", "v", false},
        NameCase{"keyWithSeparatorsInside", "s", "a;b]c|d e", "v", false},
        NameCase{"otherCaseOfAKey", "S", "K", "2", false},
        NameCase{"valueWithSeparators", "s", "j", "[x]=;|", false},
        NameCase{"emptyValue", "s", "j", "", false},
        NameCase{"eightBitNames", "\xd6\xf7", "\xb9\xdc", "\xb1\xa3", false}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST(Profile, NullValueAndNullKeyStillRemove) {
  TempDir dir;
  std::string file = dir.file("rm.ini");
  writeFile(file, "[a]\r\nk=1\r\nj=2\r\n[b]\r\nx=1\r\n");
  EXPECT_TRUE(platform::writePrivateProfileString("a", "k", nullptr, file.c_str()));
  EXPECT_TRUE(platform::writePrivateProfileString("b", nullptr, nullptr, file.c_str()));
  EXPECT_EQ(readFile(file), "[a]\r\nj=2\r\n");
  EXPECT_TRUE(platform::writePrivateProfileString("a", "absent", nullptr, file.c_str()));
  EXPECT_TRUE(platform::writePrivateProfileString("absent", nullptr, nullptr, file.c_str()));
  EXPECT_EQ(readFile(file), "[a]\r\nj=2\r\n");
}

// Writers that each load, change and replace the whole file must not lose each other's keys.
constexpr int kWriters = 4;
constexpr int kKeysEach = 25;

std::string keyName(int writer, int key) {
  return "w" + std::to_string(writer) + "k" + std::to_string(key);
}

void expectEveryKey(const std::string& file, int writers) {
  ProfileFile p;
  ASSERT_TRUE(p.load(file));
  int missing = 0;
  for (int w = 0; w < writers; ++w)
    for (int k = 0; k < kKeysEach; ++k)
      if (p.value("Keys", keyName(w, k)) != std::to_string(k)) ++missing;
  EXPECT_EQ(missing, 0);
}

void writeKeys(const std::string& file, int writer, bool batch) {
  for (int k = 0; k < kKeysEach; ++k) {
    if (batch)
      ProfileFile::edit(file, [&](ProfileFile& p) {
        return p.setValue("Keys", keyName(writer, k), std::to_string(k));
      });
    else
      platform::writePrivateProfileString("Keys", keyName(writer, k).c_str(),
                                          std::to_string(k).c_str(), file.c_str());
  }
}

class ProfileWriters : public ::testing::TestWithParam<bool> {};

TEST_P(ProfileWriters, ThreadsLoseNoKey) {
  TempDir dir;
  std::string file = dir.file("shared.ini");
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w)
    threads.emplace_back(writeKeys, file, w, GetParam());
  for (std::thread& t : threads) t.join();
  expectEveryKey(file, kWriters);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "no lock or temporary file is left behind";
}

TEST_P(ProfileWriters, ProcessesLoseNoKey) {
  TempDir dir;
  // Another name for the same file: the lock follows the file, not the spelling of its path.
  std::filesystem::create_directory(dir.file("sub"));
  std::string file = dir.file("shared.ini");
  std::string otherName = dir.file("sub/../shared.ini");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    writeKeys(otherName, 1, GetParam());
    ::_exit(0);
  }
  writeKeys(file, 0, GetParam());
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  expectEveryKey(file, 2);
}

INSTANTIATE_TEST_SUITE_P(Writers, ProfileWriters, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Batch" : "SingleValue");
                         });

TEST(ProfileEdit, SavesOnlyWhenTheChangeSucceeds) {
  TempDir dir;
  std::string file = dir.file("e.ini");
  writeFile(file, "[s]\r\nk=1\r\n");
  EXPECT_FALSE(ProfileFile::edit(file, [](ProfileFile& p) {
    p.setValue("s", "k", "2");
    return p.setValue("s", "x=y", "3");
  }));
  EXPECT_EQ(platform::lastError(), 87u);
  EXPECT_EQ(readFile(file), "[s]\r\nk=1\r\n");
  EXPECT_TRUE(ProfileFile::edit(file, [](ProfileFile& p) { return p.setValue("s", "k", "2"); }));
  EXPECT_EQ(readFile(file), "[s]\r\nk=2\r\n");
}

TEST(ProfileEdit, WritingTheSameFileInsideAnEditFailsInsteadOfHanging) {
  TempDir dir;
  std::string file = dir.file("e.ini");
  bool inner = true;
  EXPECT_TRUE(ProfileFile::edit(file, [&](ProfileFile& p) {
    inner = platform::writePrivateProfileString("s", "j", "1", file.c_str());
    return p.setValue("s", "k", "1");
  }));
  EXPECT_FALSE(inner);
  EXPECT_EQ(readFile(file), "[s]\r\nk=1\r\n");
}

TEST(ProfileEdit, LockOfAKilledWriterIsReleased) {
  TempDir dir;
  std::string file = dir.file("k.ini");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ProfileFile::edit(file, [&](ProfileFile& p) {
      p.setValue("s", "lost", "1");
      (void)!::write(ready[1], "x", 1);
      for (;;) ::pause();
      return true;
    });
    ::_exit(1);
  }
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);  // the child holds the lock now
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_TRUE(platform::writePrivateProfileString("s", "k", "1", file.c_str()));
  EXPECT_EQ(readFile(file), "[s]\r\nk=1\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
