#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/user_directory.h"
#include "platform/native_path.h"
#include "temp_dir.h"

namespace {

using testsupport::TempDir;

class UserDirectory : public ::testing::Test {
 protected:
  TempDir dir;
  std::string users = dir.file("Users");

  void mailbox(const std::string& domain, const std::string& name) {
    std::filesystem::create_directories(platform::nativePath(users + "/" + domain + "/" + name));
  }
};

TEST_F(UserDirectory, OffersEveryMailboxSortedExceptExcluded) {
  mailbox("d1.com", "ann");
  mailbox("d1.com", "Bob");
  mailbox("d2.com", "cid");
  mailbox("d2.com", "dee");
  testsupport::writeFile(users + "/notes.txt", "a file beside the domains");
  testsupport::writeFile(users + "/d1.com/file.txt", "a file beside the mailboxes");

  EXPECT_EQ(vetrule::candidateAddresses(users, {}),
            (std::vector<std::string>{"ann@d1.com", "Bob@d1.com", "cid@d2.com", "dee@d2.com"}));
  EXPECT_EQ(vetrule::candidateAddresses(users, {"bob@d1.com", "cid@d2.com"}),
            (std::vector<std::string>{"ann@d1.com", "Bob@d1.com", "dee@d2.com"}))
      << "exclusion compares with case";
}

// Whatever order the file system lists the folders in.
TEST_F(UserDirectory, SortsByDomainThenMailboxLettersWithoutCase) {
  for (const char* domain : {"zeta.org", "Alpha.net", "mid.com", "alpha.com"})
    for (const char* name : {"zed", "Kim", "amy", "kim", "bo", "Bob", "b0b"}) mailbox(domain, name);
#ifdef _WIN32
  // Windows takes "kim" for the folder "Kim" made before it.
  const std::vector<std::string> names = {"amy", "b0b", "bo", "Bob", "Kim", "zed"};
#else
  const std::vector<std::string> names = {"amy", "b0b", "bo", "Bob", "Kim", "kim", "zed"};
#endif
  std::vector<std::string> expected;
  for (const char* domain : {"alpha.com", "Alpha.net", "mid.com", "zeta.org"})
    for (const std::string& name : names) expected.push_back(name + "@" + domain);
  EXPECT_EQ(vetrule::candidateAddresses(users, {}), expected);
}

TEST_F(UserDirectory, MissingOrEmptyDirectoryOffersNothing) {
  EXPECT_TRUE(vetrule::candidateAddresses(users, {}).empty());
  std::filesystem::create_directories(users + "/empty.com");
  EXPECT_TRUE(vetrule::candidateAddresses(users, {}).empty());
}

struct FolderCase {
  const char* name;
  std::string domain;
  std::string mailbox;
  bool offered;
};

class UserDirectoryFolders : public UserDirectory,
                             public ::testing::WithParamInterface<FolderCase> {};

#ifdef _WIN32
// A folder Windows can make with this name (UTF-8 names are made under their own name).
bool windowsFolderName(const std::string& name) {
  for (unsigned char c : name)
    if (c < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
      return false;
  return !name.empty() && name.back() != '.' && name.back() != ' ';
}
#endif

TEST_P(UserDirectoryFolders, OfferOnlyNamesARuleCanHold) {
  const FolderCase& c = GetParam();
#ifdef _WIN32
  if (!windowsFolderName(c.domain) || !windowsFolderName(c.mailbox))
    GTEST_SKIP() << "not a folder name this Windows file system holds as given";
#endif
  mailbox("ok.com", "ann");
  mailbox(c.domain, c.mailbox);
  std::vector<std::string> offered = vetrule::candidateAddresses(users, {});
  std::vector<std::string> expected{"ann@ok.com"};
  if (c.offered) expected.push_back(c.mailbox + "@" + c.domain);
  std::sort(offered.begin(), offered.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(offered, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserDirectoryFolders,
    ::testing::Values(
        FolderCase{"Plain", "d1.com", "bob", true},
        FolderCase{"DotsPlusAndDigits", "mail-2.d1.com", "bob.lee+tag_9", true},
        FolderCase{"EightBitMailbox", "d1.com", "\xe5\xbc\xa0\xe4\xb8\x89", true},
        FolderCase{"SingleLabelDomain", "intranet", "bob", true},
        FolderCase{"AtextSigns", "d1.com", "a!#$%&'*-?^`{}~", true},
        FolderCase{"MailboxWithFieldSeparator", "d1.com", "ev|il", false},
        FolderCase{"MailboxWithCrLf", "d1.com", "x\r\nBcc=spy@evil.test", false},
        FolderCase{"MailboxWithLf", "d1.com", "x\n[Rule999]", false},
        FolderCase{"MailboxWithEquals", "d1.com", "a=b", false},
        FolderCase{"MailboxWithQuote", "d1.com", "a\"b", false},
        FolderCase{"MailboxWithBrackets", "d1.com", "[a]", false},
        FolderCase{"MailboxWithBlank", "d1.com", "a b", false},
        FolderCase{"MailboxWithAt", "d1.com", "a@b", false},
        FolderCase{"MailboxWithSemicolonOrComma", "d1.com", "a;b,c", false},
        FolderCase{"MailboxWithTab", "d1.com", "a\tb", false},
        FolderCase{"HiddenFolder", "d1.com", ".trash", false},
        FolderCase{"DoubleDot", "d1.com", "a..b", false},
        FolderCase{"TrailingDot", "d1.com", "a.", false},
        FolderCase{"MailboxTooLong", "d1.com", std::string(65, 'a'), false},
        FolderCase{"DomainWithFieldSeparator", "ev|il.com", "bob", false},
        FolderCase{"DomainWithLineBreak", "d1.com\n[x]", "bob", false},
        FolderCase{"DomainWithUnderscore", "d_1.com", "bob", false},
        FolderCase{"DomainLabelWithOuterHyphen", "-d1.com", "bob", false},
        FolderCase{"DomainWithEmptyLabel", "d1..com", "bob", false},
        FolderCase{"DomainWithTrailingDot", "d1.com.", "bob", false},
        FolderCase{"DomainLabelTooLong", std::string(64, 'd') + ".com", "bob", false}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

}  // namespace
