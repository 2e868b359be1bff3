#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/user_directory.h"
#include "temp_dir.h"

namespace {

using testsupport::TempDir;

class UserDirectory : public ::testing::Test {
 protected:
  TempDir dir;
  std::string users = dir.file("Users");

  void mailbox(const std::string& domain, const std::string& name) {
    std::filesystem::create_directories(users + "/" + domain + "/" + name);
  }
};

TEST_F(UserDirectory, OffersEveryMailboxGroupedByDomainExceptExcluded) {
  mailbox("d1.com", "ann");
  mailbox("d1.com", "Bob");
  mailbox("d2.com", "cid");
  mailbox("d2.com", "dee");
  testsupport::writeFile(users + "/notes.txt", "a file beside the domains");
  testsupport::writeFile(users + "/d1.com/file.txt", "a file beside the mailboxes");

  std::vector<std::string> all = vetrule::candidateAddresses(users, {});
  ASSERT_EQ(all.size(), 4u);
  auto domainOf = [](const std::string& a) { return a.substr(a.find('@')); };
  EXPECT_TRUE(domainOf(all[0]) == domainOf(all[1]) && domainOf(all[2]) == domainOf(all[3]));
  std::vector<std::string> sorted = all;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted,
            (std::vector<std::string>{"Bob@d1.com", "ann@d1.com", "cid@d2.com", "dee@d2.com"}));

  std::vector<std::string> offered =
      vetrule::candidateAddresses(users, {"bob@d1.com", "cid@d2.com"});
  std::sort(offered.begin(), offered.end());
  EXPECT_EQ(offered, (std::vector<std::string>{"Bob@d1.com", "ann@d1.com", "dee@d2.com"}))
      << "exclusion compares with case";
}

TEST_F(UserDirectory, MissingOrEmptyDirectoryOffersNothing) {
  EXPECT_TRUE(vetrule::candidateAddresses(users, {}).empty());
  std::filesystem::create_directories(users + "/empty.com");
  EXPECT_TRUE(vetrule::candidateAddresses(users, {}).empty());
}

}  // namespace
