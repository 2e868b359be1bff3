// The gate's decisions without an MTA: addresses, the rule file, who a message belongs to and what
// becomes of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/rule_file_writer.h"
#include "core/sign_off_rule.h"
#include "decision.h"
#include "gate_rules.h"
#include "held_copy.h"
#include "mail_address.h"
#include "rule_source.h"
#include "temp_dir.h"

namespace signgate {
namespace {

struct AddressCase {
  const char* header;
  std::vector<std::string> addresses;
};

class HeaderAddresses : public ::testing::TestWithParam<AddressCase> {};

TEST_P(HeaderAddresses, AreTheMailboxesOfTheField) {
  EXPECT_EQ(headerAddresses(GetParam().header), GetParam().addresses);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, HeaderAddresses,
    ::testing::Values(
        AddressCase{"ann@example.test", {"ann@example.test"}},
        AddressCase{" Ann Lee <Ann@EXAMPLE.test>", {"ann@example.test"}},
        AddressCase{"\"Lee, Ann\" <ann@example.test>, bob@example.test",
                    {"ann@example.test", "bob@example.test"}},
        // An address written as the display name is not the address.
        AddressCase{"\"ann@example.test\" <eve@other.test>", {"eve@other.test"}},
        AddressCase{"ann@example.test (Ann <boss@example.test>)", {"ann@example.test"}},
        AddressCase{"=?UTF-8?B?5byg5LiJ?= <ann@example.test>", {"ann@example.test"}},
        AddressCase{"Team: ann@example.test, bob@example.test;", {"ann@example.test", "bob@example.test"}},
        AddressCase{"Ann\r\n\t<ann@example.test>", {"ann@example.test"}},
        AddressCase{"<@relay.test:ann@example.test>", {"ann@example.test"}},
        AddressCase{"\"ann\"@example.test", {"ann@example.test"}},
        AddressCase{"undisclosed-recipients:;", {}}, AddressCase{"", {}}));

TEST(CanonicalAddress, DropsBracketsAndCase) {
  EXPECT_EQ(canonicalAddress("<Ann@Example.Test>"), "ann@example.test");
  EXPECT_EQ(canonicalAddress("<>"), "");
  EXPECT_EQ(canonicalAddress("  ann@example.test  "), "ann@example.test");
}

// A rule file as vetrule writes it: boss signs off for ann and cid, carol for dan; one other rule.
std::string RuleText() {
  testsupport::TempDir dir;
  vetrule::SupervisorRecord boss{"boss@example.test", {"ann@example.test", "Cid@Example.test"}, {}};
  vetrule::SupervisorRecord carol{"carol@example.test", {"dan@example.test"}, {}};
  vetrule::RuleLists lists;
  vetrule::RuleSection other;
  other.keyMap.set("RuleName", "Spam to junk");
  other.keyMap.set("Action01", "move to|junk");
  lists.otherRules.push_back(other);
  const std::string path = dir.file("cfrules.dat");
  EXPECT_TRUE(vetrule::saveRules({{boss.supervisorAddress, &boss}, {carol.supervisorAddress, &carol}},
                                 lists, path));
  return testsupport::readFile(path);
}

GateRules Rules() {
  GateRules rules;
  std::string error;
  EXPECT_TRUE(rules.parse(RuleText(), error)) << error;
  return rules;
}

TEST(GateRules, TakesTheSignOffRulesOfVetrule) {
  const GateRules rules = Rules();
  ASSERT_EQ(rules.rules().size(), 2u);
  EXPECT_EQ(rules.rulesOfUser("cid@example.test").at(0)->supervisor, "boss@example.test");
  EXPECT_EQ(rules.rulesOfUser("dan@example.test").at(0)->supervisor, "carol@example.test");
  EXPECT_TRUE(rules.rulesOfUser("boss@example.test").empty());
  EXPECT_TRUE(rules.isSupervisor("carol@example.test"));
}

TEST(GateRules, RefusesAFileCutShortAnywhereInASignOffRule) {
  const std::string text = RuleText();
  const std::size_t firstSignOff = text.find("RuleName=Sign_");
  ASSERT_NE(firstSignOff, std::string::npos);
  // Every cut inside the sign-off rules that does not fall on a rule's end leaves a rule that is
  // not whole; the parse must say so rather than decide with part of a rule.
  int refused = 0;
  for (std::size_t cut = firstSignOff; cut < text.size(); ++cut) {
    GateRules rules;
    std::string error;
    if (rules.parse(text.substr(0, cut), error)) {
      // What is accepted is a whole rule set with fewer rules, never a rule with fewer users.
      for (const SignOffRule& rule : rules.rules())
        EXPECT_EQ(rule.users.size(), rule.supervisor == "boss@example.test" ? 2u : 1u) << cut;
    } else {
      ++refused;
      EXPECT_NE(error.find("not whole"), std::string::npos) << error;
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(GateRules, OnlyAnEnableOtherThanYesTurnsARuleOff) {
  for (const auto& [value, rulesLeft] :
       {std::pair<const char*, std::size_t>{"Enable=No", 1}, {"Enable=yes", 2}, {"Enable=YES", 2}}) {
    std::string text = RuleText();
    text.replace(text.find("Enable=Yes"), 10, value);
    GateRules rules;
    std::string error;
    ASSERT_TRUE(rules.parse(text, error)) << error;
    EXPECT_EQ(rules.rules().size(), rulesLeft) << value;
  }
}

struct DecisionCase {
  const char* name;
  MessageFacts facts;
  Verdict verdict;
  std::vector<std::string> supervisors;
};

class Decide : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(Decide, FollowsWhoSentItAndWhoApproved) {
  const Decision decision = decide(Rules(), GetParam().facts, "");
  EXPECT_EQ(decision.verdict, GetParam().verdict);
  EXPECT_EQ(decision.supervisors, GetParam().supervisors);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, Decide,
    ::testing::Values(
        DecisionCase{"UserByEnvelope", {"", "<ann@example.test>", {}, false}, Verdict::kHold,
                     {"boss@example.test"}},
        DecisionCase{"UserByFromOnly", {"", "<x@other.test>", {"cid@example.test"}, false},
                     Verdict::kHold, {"boss@example.test"}},
        DecisionCase{"UserByLoginOnly", {"ann", "<x@other.test>", {"x@other.test"}, false},
                     Verdict::kHold, {"boss@example.test"}},
        DecisionCase{"UserOfTwoSupervisors",
                     {"", "<ann@example.test>", {"dan@example.test"}, false}, Verdict::kHold,
                     {"boss@example.test", "carol@example.test"}},
        DecisionCase{"Unsupervised", {"bob", "<bob@example.test>", {"bob@example.test"}, false},
                     Verdict::kNotSupervised, {}},
        DecisionCase{"UnsupervisedWithMarker", {"", "<bob@example.test>", {}, true},
                     Verdict::kNotSupervised, {}},
        DecisionCase{"ApprovedBySupervisor",
                     {"boss", "<ann@example.test>", {"ann@example.test"}, true}, Verdict::kApproved, {}},
        DecisionCase{"ApprovedBySupervisorsFullLogin",
                     {"BOSS@example.test", "<ann@example.test>", {}, true}, Verdict::kApproved, {}},
        DecisionCase{"ReturnBySupervisor", {"boss", "<boss@example.test>", {"ann@example.test"}, true},
                     Verdict::kApproved, {}},
        DecisionCase{"MarkerWrittenByUser", {"ann", "<ann@example.test>", {"ann@example.test"}, true},
                     Verdict::kRefused, {}},
        DecisionCase{"MarkerWithoutLogin", {"", "<ann@example.test>", {"ann@example.test"}, true},
                     Verdict::kRefused, {}},
        DecisionCase{"MarkerFromAnotherUsersSupervisor",
                     {"carol", "<ann@example.test>", {"ann@example.test"}, true}, Verdict::kRefused, {}},
        // The user logged in, posing as someone unsupervised, with a copied marker.
        DecisionCase{"MarkerFromUserPosingAsOther",
                     {"ann", "<bob@example.test>", {"bob@example.test"}, true}, Verdict::kRefused, {}}),
    [](const ::testing::TestParamInfo<DecisionCase>& info) { return std::string(info.param.name); });

TEST(LoginNames, BareLoginsAndTheLoginDomain) {
  EXPECT_TRUE(loginNames("boss", "boss@example.test", ""));
  EXPECT_FALSE(loginNames("bos", "boss@example.test", ""));
  EXPECT_TRUE(loginNames("boss", "boss@example.test", "Example.Test"));
  EXPECT_FALSE(loginNames("boss", "boss@example.test", "other.test"));
  EXPECT_FALSE(loginNames("boss@other.test", "boss@example.test", ""));
  EXPECT_FALSE(loginNames("", "boss@example.test", ""));
}

TEST(HeldCopy, FieldsCarryNothingButSafeText) {
  const std::string received =
      receivedValue("pc1\r\nX-Evil: 1", "mx.example.test", "4Ab/../\r\n9", {"boss@example.test"}, 0);
  EXPECT_EQ(received,
            "from pc1X-Evil:1 by mx.example.test with ESMTP id 4Ab9.msg for <boss@example.test>; "
            "Thu, 01 Jan 1970 00:00:00 +0000");
  EXPECT_EQ(recipientForField("<bob@example.test>"), "bob@example.test");
  EXPECT_EQ(recipientForField("<bob@example.test\r\nBcc: eve@x>"), "");
}

TEST(RuleSource, FollowsTheFileAndRefusesWhatCannotBeRead) {
  testsupport::TempDir dir;
  RuleSource source(dir.file("cfrules.dat"));
  std::string error;
  EXPECT_EQ(source.current(error), nullptr);
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;

  testsupport::writeFile(dir.file("cfrules.dat"), RuleText());
  const auto first = source.current(error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(source.current(error), first);  // the same text is not parsed again

  std::string cut = RuleText();
  cut.resize(cut.size() - 3);
  testsupport::writeFile(dir.file("cfrules.dat"), cut);
  EXPECT_EQ(source.current(error), nullptr);

  vetrule::SupervisorRecord boss{"boss@example.test", {"eve@example.test"}, {}};
  vetrule::RuleLists lists;
  ASSERT_TRUE(vetrule::saveRules({{boss.supervisorAddress, &boss}}, lists, dir.file("cfrules.dat")));
  const auto changed = source.current(error);
  ASSERT_NE(changed, nullptr) << error;
  EXPECT_EQ(changed->rulesOfUser("eve@example.test").size(), 1u);
  EXPECT_TRUE(changed->rulesOfUser("ann@example.test").empty());
}

}  // namespace
}  // namespace signgate
