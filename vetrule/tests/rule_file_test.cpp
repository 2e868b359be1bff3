#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/rule_file_reader.h"
#include "core/rule_file_writer.h"
#include "core/sign_off_rule.h"
#include "expected_rules.h"
#include "platform/last_error.h"
#include "platform/profile.h"
#include "temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
using vetrule::SupervisorRecord;
using vetrule_test::section;
using vetrule_test::signOffSection;

// The supervisor list of the main dialog, without the dialog: entries with their text and record.
struct SupervisorList {
  std::vector<std::string> texts;
  std::vector<std::unique_ptr<SupervisorRecord>> records;

  // As the loader does: each sign-off rule's supervisor goes to the top of the list.
  void load(const vetrule::RuleLists& lists) {
    for (const vetrule::RuleSection& rule : lists.signOffRules) {
      auto record = std::make_unique<SupervisorRecord>(vetrule::decodeSignOffRule(rule));
      texts.insert(texts.begin(), record->supervisorAddress);
      records.insert(records.begin(), std::move(record));
    }
  }

  // As add supervisor and then add user do; no users leaves the entry without a record.
  void add(const std::string& supervisor, const std::vector<std::string>& usersInAddedOrder) {
    texts.push_back(supervisor);
    records.emplace_back();
    if (usersInAddedOrder.empty()) return;
    records.back() = std::make_unique<SupervisorRecord>();
    records.back()->supervisorAddress = supervisor;
    for (const std::string& user : usersInAddedOrder) records.back()->userList.push_front(user);
  }

  std::vector<vetrule::SupervisorListEntry> entries() const {
    std::vector<vetrule::SupervisorListEntry> list;
    for (std::size_t i = 0; i < texts.size(); ++i) list.push_back({texts[i], records[i].get()});
    return list;
  }
};

// Supervisors added after loading, each with its users in the order they are added.
using AddedSupervisors = std::vector<std::pair<std::string, std::vector<std::string>>>;

class RuleFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.file("cfrules.dat");

  // Loads the file as the dialog does, adds supervisors, saves.
  void loadAndSave(const AddedSupervisors& added = {}) {
    vetrule::RuleLists lists;
    ASSERT_EQ(vetrule::loadRuleFile(path, lists), 0);
    SupervisorList supervisors;
    supervisors.load(lists);
    for (const auto& [supervisor, users] : added) supervisors.add(supervisor, users);
    ASSERT_TRUE(vetrule::saveRules(supervisors.entries(), lists, path));
  }
};

struct RoundTripCase {
  const char* name;
  std::string input;
  AddedSupervisors addedSupervisors;
  std::string expected;
};

class RuleFileRoundTrip : public RuleFile, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RuleFileRoundTrip, SavesAsExpected) {
  writeFile(path, GetParam().input);
  loadAndSave(GetParam().addedSupervisors);
  EXPECT_EQ(readFile(path), GetParam().expected);
}

const std::string kAnnRule =
    "RuleName=Sign_0_boss@corp.com\r\nEnable=Yes\r\nThisRuleCondition=All\r\n"
    "ProcessQueue=REMOTE\r\nCondition01=FROM|contains|OR|ann@corp.com|\r\n"
    "Condition02=X-Sign|does not contain|AND|vandry!|\r\n"
    "Action01=copy to|\"boss@corp.com\"\r\nAction02=delete|\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, RuleFileRoundTrip,
    ::testing::Values(
        RoundTripCase{"OtherRulesFirstInTheirOrderThenSignOffRules",
                      "[Rule001]\r\nRuleName=Virus\r\nEnable=Yes\r\n"
                      "[Rule004]\r\n" + kAnnRule +
                      "[Rule005]\r\nRuleName=Spam\r\n"
                      "[Rule010]\r\nRuleName=Big\r\nAction01=move to|big|\r\n",
                      {{"chief@corp.com", {"bob@corp.com"}}},
                      section("Rule001", {"RuleName=Virus", "Enable=Yes"}) +
                          section("Rule002", {"RuleName=Spam"}) +
                          section("Rule003", {"RuleName=Big", "Action01=move to|big|"}) +
                          signOffSection("Rule004", "Sign_0_boss@corp.com", "boss@corp.com",
                                         {"ann@corp.com"}) +
                          signOffSection("Rule005", "Sign_1_chief@corp.com", "chief@corp.com",
                                         {"bob@corp.com"})},
        RoundTripCase{"ValuesKeepFurtherEqualSigns",
                      "[R]\r\nAction01=run|c:\\a.exe x=1 y==2|\r\nFlag\r\n=lonely\r\n",
                      {},
                      section("Rule001", {"Action01=run|c:\\a.exe x=1 y==2|", "Flag=", "=lonely"})},
        RoundTripCase{"SignOffRulesOnlyWithSignAtTheStartAndInThatCase",
                      "[A]\r\nRuleName=MySign_0_x@corp.com\r\n"
                      "[B]\r\nRuleName=sign_0_x@corp.com\r\n"
                      "[C]\r\n" + kAnnRule,
                      {},
                      section("Rule001", {"RuleName=MySign_0_x@corp.com"}) +
                          section("Rule002", {"RuleName=sign_0_x@corp.com"}) +
                          signOffSection("Rule003", "Sign_0_boss@corp.com", "boss@corp.com",
                                         {"ann@corp.com"})},
        RoundTripCase{"SectionWithoutRuleNameAfterASignOffRuleIsAnotherRule",
                      "[A]\r\n" + kAnnRule + "[B]\r\nFoo=bar\r\n",
                      {},
                      section("Rule001", {"Foo=bar"}) +
                          signOffSection("Rule002", "Sign_0_boss@corp.com", "boss@corp.com",
                                         {"ann@corp.com"})},
        RoundTripCase{"TheLastRuleNameDecidesAndARepeatedKeyKeepsItsPlace",
                      "[A]\r\nRuleName=Sign_0_a@corp.com\r\nEnable=No\r\nRuleName=Archive\r\n",
                      {},
                      section("Rule001", {"RuleName=Archive", "Enable=No"})},
        RoundTripCase{"SupervisorsListedInReverseFileOrderEachRuleOnce",
                      "[1]\r\nRuleName=Sign_0_boss1@corp.com\r\n"
                      "Condition01=FROM|contains|OR|a1@corp.com|a2@corp.com|\r\n"
                      "Action01=copy to|\"boss1@corp.com\"\r\n"
                      "[2]\r\nRuleName=Sign_1_boss2@corp.com\r\n"
                      "Condition01=FROM|contains|OR|b1@corp.com|\r\n"
                      "Action01=copy to|\"boss2@corp.com\"\r\n"
                      "[3]\r\nRuleName=Sign_2_boss1@corp.com\r\n"
                      "Condition01=FROM|contains|OR|c1@corp.com|\r\n"
                      "Action01=copy to|\"boss1@corp.com\"\r\n",
                      {},
                      signOffSection("Rule001", "Sign_0_boss1@corp.com", "boss1@corp.com",
                                     {"c1@corp.com"}) +
                          signOffSection("Rule002", "Sign_1_boss2@corp.com", "boss2@corp.com",
                                         {"b1@corp.com"}) +
                          signOffSection("Rule003", "Sign_2_boss1@corp.com", "boss1@corp.com",
                                         {"a2@corp.com", "a1@corp.com"})},
        RoundTripCase{"SupervisorsWithoutUsersGiveNoRuleButKeepTheirPosition",
                      "[A]\r\nRuleName=Sign_0_gone@corp.com\r\nCondition01=FROM|contains|OR|\r\n"
                      "Action01=copy to|\"gone@corp.com\"\r\n",
                      {{"a@corp.com", {}}, {"b@corp.com", {}}, {"d@corp.com", {"u@corp.com"}}},
                      signOffSection("Rule001", "Sign_3_d@corp.com", "d@corp.com", {"u@corp.com"})},
        RoundTripCase{"LinesBeforeTheFirstSectionAndHeadersAreDroppedEmptySectionsCount",
                      "junk=1\n; note\n\n[  odd header ; x\nk=v\n\n[Empty]\n[Next]\nx=y\n",
                      {},
                      section("Rule001", {"k=v"}) + section("Rule003", {"x=y"})},
        RoundTripCase{"KeyLinesOfOtherRulesAreCarriedOverAsRead",
                      "[R]\r\n Key = spaced \r\n; note\r\nKey=1\r\nKEY=2\r\n[x=y]\r\n",
                      {},
                      section("Rule001", {" Key = spaced ", "; note=", "Key=1", "KEY=2"})},
        RoundTripCase{"UsersAddedAreWrittenMostRecentFirst",
                      "",
                      {{"boss@corp.com", {"a@corp.com", "b@corp.com"}}},
                      signOffSection("Rule001", "Sign_0_boss@corp.com", "boss@corp.com",
                                     {"b@corp.com", "a@corp.com"})}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

TEST_F(RuleFile, EachLoadAndSaveReversesTheUsers) {
  writeFile(path, "");
  loadAndSave({{"boss@corp.com", {"a@corp.com", "b@corp.com"}}});
  loadAndSave();
  EXPECT_EQ(readFile(path), signOffSection("Rule001", "Sign_0_boss@corp.com", "boss@corp.com",
                                           {"a@corp.com", "b@corp.com"}));
  loadAndSave();
  EXPECT_EQ(readFile(path), signOffSection("Rule001", "Sign_0_boss@corp.com", "boss@corp.com",
                                           {"b@corp.com", "a@corp.com"}));
}

TEST(RuleSectionName, HasAtLeastThreeDigits) {
  EXPECT_EQ(vetrule::ruleSectionName(1), "Rule001");
  EXPECT_EQ(vetrule::ruleSectionName(12), "Rule012");
  EXPECT_EQ(vetrule::ruleSectionName(99), "Rule099");
  EXPECT_EQ(vetrule::ruleSectionName(100), "Rule100");
  EXPECT_EQ(vetrule::ruleSectionName(1000), "Rule1000");
}

TEST(RenderRuleFile, NumbersEverySectionInOrder) {
  vetrule::RuleLists lists;
  for (int i = 1; i <= 1000; ++i) {
    lists.otherRules.emplace_back();
    lists.otherRules.back().keyMap.set("RuleName", "other " + std::to_string(i));
  }
  std::string text;
  ASSERT_TRUE(vetrule::renderRuleFile(lists, text));
  platform::ProfileFile file;
  file.parse(text);
  std::vector<std::string> names = file.sectionNames();
  ASSERT_EQ(names.size(), 1000u);
  EXPECT_EQ(names[11], "Rule012");
  EXPECT_EQ(names[99], "Rule100");
  EXPECT_EQ(names[999], "Rule1000");
}

TEST_F(RuleFile, MissingFileGivesCause2AndASaveCreatesIt) {
  vetrule::RuleLists lists;
  EXPECT_EQ(vetrule::loadRuleFile(path, lists), 2);
  EXPECT_TRUE(lists.otherRules.empty());
  EXPECT_TRUE(lists.signOffRules.empty());
  EXPECT_EQ(vetrule::openFailureMessage("./cfrules.dat", 2),
            "打开配置文件./cfrules.dat失败.(error code:2),"
            "请把这个程序复制到MDaemon的App目录下，比如c:\\MDaemon\\App");

  SupervisorList supervisors;
  supervisors.add("boss@corp.com", {"a@corp.com"});
  ASSERT_TRUE(vetrule::saveRules(supervisors.entries(), lists, path));
  EXPECT_EQ(readFile(path),
            signOffSection("Rule001", "Sign_0_boss@corp.com", "boss@corp.com", {"a@corp.com"}));
}

TEST_F(RuleFile, OpenFailuresGiveTheirCause) {
  vetrule::RuleLists lists;
  std::filesystem::create_directory(path);
  EXPECT_EQ(vetrule::loadRuleFile(path, lists), 5) << "a directory cannot be opened as a file";
  writeFile(dir.file("plain"), "x");
  EXPECT_EQ(vetrule::loadRuleFile(dir.file("plain/cfrules.dat"), lists), 3);
  EXPECT_EQ(vetrule::openFailureCause(platform::err::kSharingViolation), 11);
}

TEST_F(RuleFile, SaveReplacesTheFileInOneRename) {
  writeFile(path, "[Rule001]\r\n" + kAnnRule);
  // A second name for the old file: a rewrite in place would change what it shows.
  std::filesystem::create_hard_link(path, dir.file("before.dat"));
  loadAndSave({{"chief@corp.com", {"bob@corp.com"}}});

  EXPECT_EQ(readFile(dir.file("before.dat")), "[Rule001]\r\n" + kAnnRule);
  EXPECT_NE(readFile(path).find("Sign_1_chief@corp.com"), std::string::npos);
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    files.push_back(entry.path().filename().string());
  EXPECT_EQ(files.size(), 2u) << "no temporary file may be left behind";
}

TEST_F(RuleFile, FailedSaveReportsTheError) {
  vetrule::RuleLists lists;
  SupervisorList supervisors;
  supervisors.add("boss@corp.com", {"a@corp.com"});
  EXPECT_FALSE(vetrule::saveRules(supervisors.entries(), lists, dir.file("missing/cfrules.dat")));
  EXPECT_EQ(platform::lastError(), platform::err::kPathNotFound);
}

// Rules that would not read back as written: the file must stay as it was.
struct UnwritableCase {
  const char* name;
  std::string supervisor;
  std::vector<std::string> users;  // in the order added
  std::string otherKey = "RuleName";
  std::string otherValue = "Virus";
  bool refused = true;
};

class UnwritableRules : public RuleFile, public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(UnwritableRules, AreRefusedAndTheFileIsLeftAlone) {
  const UnwritableCase& c = GetParam();
  const std::string before = "[Rule001]\r\n" + kAnnRule;
  writeFile(path, before);
  vetrule::RuleLists lists;
  ASSERT_EQ(vetrule::loadRuleFile(path, lists), 0);
  lists.otherRules.emplace_back();
  lists.otherRules.back().keyMap.set(c.otherKey, c.otherValue);
  SupervisorList supervisors;
  supervisors.load(lists);
  supervisors.add(c.supervisor, c.users);

  platform::setLastError(0);
  bool saved = vetrule::saveRules(supervisors.entries(), lists, path);
  // Taken at once: on Windows the test's own file calls below change the thread's last error.
  const unsigned long error = platform::lastError();
  if (!c.refused) {
    EXPECT_TRUE(saved);
    return;
  }
  EXPECT_FALSE(saved);
  EXPECT_EQ(error, 87u);
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  EXPECT_EQ(vetrule::saveFailureMessage("./cfrules.dat", error),
            "保存配置文件./cfrules.dat失败.(error code:87),规则文件未作改动");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnwritableRules,
    ::testing::Values(
        // The reader would find the users "ev" (no user) and "il@corp.com".
        UnwritableCase{"UserWithFieldSeparator", "boss@corp.com", {"ev|il@corp.com"}},
        // Condition02 and both actions would move into a new section: the rule would hold nothing.
        UnwritableCase{"UserWithLineBreak", "boss@corp.com", {"x@corp.com\r\n[Rule999]"}},
        UnwritableCase{"UserWithLf", "boss@corp.com", {"x\n[Rule999]@corp.com"}},
        UnwritableCase{"UserWithoutAt", "boss@corp.com", {"a@corp.com", "nobody"}},
        UnwritableCase{"UserWithQuote", "boss@corp.com", {"a\"b@corp.com"}},
        UnwritableCase{"UserWithNul", "boss@corp.com", {std::string("a\0@corp.com", 11)}},
        // Decoding drops quotes and would copy the mail to "evil@corp.com".
        UnwritableCase{"SupervisorWithQuote", "evil@corp.com\"", {"a@corp.com"}},
        UnwritableCase{"SupervisorWithFieldSeparator", "boss@corp.com|evil@x.com", {"a@corp.com"}},
        UnwritableCase{"SupervisorWithLineBreak", "boss@corp.com\r\nAction03=delete|",
                       {"a@corp.com"}},
        UnwritableCase{"EmptySupervisor", "", {"a@corp.com"}},
        UnwritableCase{"OtherRuleValueWithCr", "boss@corp.com", {"a@corp.com"}, "Action01", "a\rb"},
        UnwritableCase{"OtherRuleValueWithNul", "boss@corp.com", {"a@corp.com"}, "Action01",
                       std::string("a\0b", 3)},
        UnwritableCase{"OtherRuleKeyWithEquals", "boss@corp.com", {"a@corp.com"}, "a=b", "c"},
        UnwritableCase{"OtherRuleKeyOpeningASection", "boss@corp.com", {"a@corp.com"}, "[x]", "c"},
        UnwritableCase{"BadSupervisorWithoutUsersGivesNoRule", "ev|il", {}, "RuleName", "Virus",
                       false},
        UnwritableCase{"SeparatorsInsideOtherRulesAreTheirs", "boss@corp.com", {"a@corp.com"},
                       " ;Odd[key] ", "x|\"y\"=[z]", false}),
    [](const ::testing::TestParamInfo<UnwritableCase>& info) { return info.param.name; });

struct DecodeCase {
  const char* name;
  std::string condition01;  // empty: no Condition01 key
  std::string action01;     // empty: no Action01 key
  std::vector<std::string> users;
  std::string supervisor;
};

class DecodeSignOffRule : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeSignOffRule, FindsUsersAndSupervisor) {
  vetrule::RuleSection rule;
  rule.keyMap.set("RuleName", "Sign_0_x");
  if (!GetParam().condition01.empty()) rule.keyMap.set("Condition01", GetParam().condition01);
  if (!GetParam().action01.empty()) rule.keyMap.set("Action01", GetParam().action01);
  SupervisorRecord record = vetrule::decodeSignOffRule(rule);
  EXPECT_EQ(std::vector<std::string>(record.userList.begin(), record.userList.end()),
            GetParam().users);
  EXPECT_EQ(record.supervisorAddress, GetParam().supervisor);
  EXPECT_EQ(record.ruleName, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeSignOffRule,
    ::testing::Values(
        DecodeCase{"UsersNeedAnAtAfterTheirFirstCharacter",
                   "FROM|contains|OR|@corp.com|nobody||x@corp.com|y@|z@@w|",
                   "copy to|\"b@corp.com\"", {"z@@w", "y@", "x@corp.com"}, "b@corp.com"},
        DecodeCase{"NoKeys", "", "", {}, ""},
        DecodeCase{"ActionWithoutBar", "a@b", "copy to b@corp.com", {"a@b"}, ""},
        DecodeCase{"EveryQuoteRemovedAfterTheFirstBar", "a@b", "copy to|\"b\"@\"corp|x\"", {"a@b"},
                   "b@corp|x"}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

}  // namespace
