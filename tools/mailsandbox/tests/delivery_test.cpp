// The sign-off rules applied to submitted mail, and where the mail ends up.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "message_text.h"
#include "sandbox_root.h"
#include "sign_off_rules.h"

namespace mailsandbox::test {
namespace {

const char* const kMailboxes[] = {"ann@example.com", "bob@example.com", "cid@example.com", "boss@example.com",
                                  "chief@example.com"};

// Ann and Cid need the approval of Boss; Ann and Bob that of Chief. A rule that is no sign-off
// rule would copy Bob's mail to Cid.
const std::string kOtherRule =
    "[Rule001]\nRuleName=Copy Bob\nEnable=Yes\nThisRuleCondition=All\nProcessQueue=REMOTE\n"
    "Condition01=FROM|contains|OR|bob@example.com|\nAction01=copy to|\"cid@example.com\"\n";
const std::string kBossRule =
    signOffRule(2, "Sign_0_boss@example.com", {"cid@example.com", "ann@example.com"}, "boss@example.com");
const std::string kChiefRule =
    signOffRule(3, "Sign_1_chief@example.com", {"bob@example.com", "ann@example.com"}, "chief@example.com");

struct DeliveryCase {
  const char* name;
  std::optional<std::string> rules;  // no cfrules.dat when empty
  std::string envelopeSender;
  std::string headers;
  std::vector<std::string> recipients;
  std::vector<std::string> expectedMailboxes;  // every mailbox that holds the message afterwards
  bool expectedOutbox;
  std::string login = "";  // the SMTP AUTH login's address
  bool refused = false;    // the message is refused as a forged approval
};

void PrintTo(const DeliveryCase& c, std::ostream* out) { *out << c.name; }

class DeliveryTable : public testing::TestWithParam<DeliveryCase> {};

TEST_P(DeliveryTable, MessageEndsUpWhereTheRulesSay) {
  const DeliveryCase& c = GetParam();
  SandboxRoot root;
  for (const char* address : kMailboxes) {
    std::string error;
    ASSERT_TRUE(root.accounts.addMailbox(address, "pw", error));
  }
  if (c.rules) root.writeRules(*c.rules);
  std::string message = c.headers + "Subject: report\r\n\r\nnumbers\r\n";

  DeliveryReport report =
      root.delivery.deliver(Envelope{c.envelopeSender, c.recipients, c.login}, message);
  ASSERT_EQ(report.accepted, !c.refused) << report.summary;
  EXPECT_EQ(report.refusedForever, c.refused) << report.summary;

  std::vector<std::string> holding;
  for (const char* address : kMailboxes)
    if (!root.messagesOf(address).empty()) holding.push_back(address);
  EXPECT_EQ(holding, c.expectedMailboxes) << report.summary;
  EXPECT_EQ(!root.outboxFiles().empty(), c.expectedOutbox) << report.summary;
}

const std::string kAllRules = kOtherRule + kBossRule + kChiefRule;
const std::string kAnn = "From: Ann <ann@example.com>\r\n";
const std::string kMarked = "X-Sign: vandry!\r\nX-Sign-Stat: Approve By boss\r\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rules, DeliveryTable, testing::Values(
    DeliveryCase{"ListedSenderIsHeldForTheSupervisorOnly", kBossRule,
                 "ann@example.com", kAnn, {"bob@example.com"}, {"boss@example.com"}, false},
    DeliveryCase{"MarkedMessageOfTheSupervisorIsDelivered", kBossRule,
                 "ann@example.com", kAnn + kMarked, {"bob@example.com"}, {"bob@example.com"}, false,
                 "boss@example.com"},
    DeliveryCase{"MarkerIsFoundIgnoringCaseAndAmongOtherText", kBossRule,
                 "ann@example.com", kAnn + "x-sign: ok VANDRY! ok\r\n", {"bob@example.com"},
                 {"bob@example.com"}, false, "BOSS@example.com"},
    DeliveryCase{"MarkerWithoutLoginIsRefused", kBossRule,
                 "ann@example.com", kAnn + kMarked, {"bob@example.com"}, {}, false, "", true},
    DeliveryCase{"MarkerOfTheUserIsRefused", kBossRule,
                 "ann@example.com", kAnn + kMarked, {"bob@example.com"}, {}, false, "ann@example.com",
                 true},
    DeliveryCase{"MarkerOfAnotherRulesSupervisorIsRefused", kAllRules,
                 "cid@example.com", "From: cid@example.com\r\n" + kMarked, {"bob@example.com"}, {}, false,
                 "chief@example.com", true},
    DeliveryCase{"EitherSupervisorMayApprove", kAllRules,
                 "ann@example.com", kAnn + kMarked, {"bob@example.com"}, {"bob@example.com"}, false,
                 "chief@example.com"},
    DeliveryCase{"UserLoggedInIsHeldWhateverTheSenderSays", kBossRule,
                 "someone@else.org", "From: someone@else.org\r\n", {"bob@example.com"},
                 {"boss@example.com"}, false, "ann@example.com"},
    DeliveryCase{"OtherHeaderWithTheMarkerDoesNotCount", kBossRule,
                 "ann@example.com", kAnn + "X-Sign-Stat: vandry!\r\n", {"bob@example.com"},
                 {"boss@example.com"}, false},
    DeliveryCase{"UnlistedSenderIsDelivered", kBossRule,
                 "bob@example.com", "From: bob@example.com\r\n", {"cid@example.com"}, {"cid@example.com"},
                 false},
    DeliveryCase{"ListedOnlyInHeaderFromIsHeld", kBossRule,
                 "someone@else.org", kAnn, {"bob@example.com"}, {"boss@example.com"}, false},
    DeliveryCase{"ListedOnlyAsEnvelopeSenderIsHeld", kBossRule,
                 "ANN@example.com", "From: someone@else.org\r\n", {"bob@example.com"}, {"boss@example.com"},
                 false},
    DeliveryCase{"UserOfTwoSupervisorsIsHeldForBoth", kAllRules,
                 "ann@example.com", kAnn, {"cid@example.com"}, {"boss@example.com", "chief@example.com"},
                 false},
    DeliveryCase{"RulesThatAreNoSignOffRulesAreIgnored", kAllRules,
                 "bob@example.com", "From: bob@example.com\r\n", {"ann@example.com"}, {"chief@example.com"},
                 false},
    DeliveryCase{"RuleNameInLowerCaseIsNoSignOffRule",
                 signOffRule(1, "sign_0_boss@example.com", {"ann@example.com"}, "boss@example.com"),
                 "ann@example.com", kAnn, {"bob@example.com"}, {"bob@example.com"}, false},
    DeliveryCase{"DisabledRuleHoldsNothing",
                 "[Rule001]\nRuleName=Sign_0_boss@example.com\nEnable=No\n"
                 "Condition01=FROM|contains|OR|ann@example.com|\n"
                 "Action01=copy to|\"boss@example.com\"\nAction02=delete|\n",
                 "ann@example.com", kAnn, {"bob@example.com"}, {"bob@example.com"}, false},
    DeliveryCase{"RuleWithoutDeleteCopiesAndDelivers",
                 "[Rule001]\nRuleName=Sign_0_boss@example.com\n"
                 "Condition01=FROM|contains|OR|ann@example.com|\nAction01=copy to|\"boss@example.com\"\n",
                 "ann@example.com", kAnn, {"bob@example.com"}, {"bob@example.com", "boss@example.com"},
                 false},
    DeliveryCase{"UnknownConditionKeepsTheRuleFromMatching",
                 "[Rule001]\nRuleName=Sign_0_boss@example.com\n"
                 "Condition01=FROM|is exactly|OR|ann@example.com|\n"
                 "Action01=copy to|\"boss@example.com\"\nAction02=delete|\n",
                 "ann@example.com", kAnn, {"bob@example.com"}, {"bob@example.com"}, false},
    DeliveryCase{"AnyConditionSuffices",
                 "[Rule001]\nRuleName=Sign_0_boss@example.com\nThisRuleCondition=Any\n"
                 "Condition01=FROM|contains|OR|nobody@example.com|\nCondition02=Subject|contains|OR|REPORT|\n"
                 "Action01=copy to|\"boss@example.com\"\nAction02=delete|\n",
                 "ann@example.com", kAnn, {"bob@example.com"}, {"boss@example.com"}, false},
    DeliveryCase{"MissingRuleFileDeliversEverything", std::nullopt,
                 "ann@example.com", kAnn, {"bob@example.com", "cid@example.com"},
                 {"bob@example.com", "cid@example.com"}, false},
    DeliveryCase{"HeldMailForOtherDomainsStaysOutOfTheOutbox", kBossRule,
                 "ann@example.com", kAnn, {"x@other.org"}, {"boss@example.com"}, false},
    DeliveryCase{"MailForOtherDomainsGoesToTheOutbox", kBossRule,
                 "bob@example.com", "From: bob@example.com\r\n", {"x@other.org", "ann@example.com"},
                 {"ann@example.com"}, true}),
    [](const testing::TestParamInfo<DeliveryCase>& info) { return std::string(info.param.name); });
// clang-format on

class DeliveryTest : public testing::Test {
 protected:
  DeliveryTest() : root({"ann@example.com", "bob@example.com", "boss@example.com"}) {}
  SandboxRoot root;
};

TEST_F(DeliveryTest, HeldCopyIsTheMessageUnderAReceivedFieldNamingItsQueueFileWithItsRecipients) {
  root.writeRules(kBossRule);
  // A recipient field the sender wrote would become a recipient after approval.
  const std::string header = "From: ann@example.com\r\nTo: bob@example.com\r\nSubject: s\r\n";
  const std::string body = "\r\nline\n.\r\n\r\n";
  DeliveryReport report = root.delivery.deliver(
      Envelope{"ann@example.com", {"bob@example.com", "boss@example.com"}},
      header + "X-Sign-Rcpt: eve@evil.org\r\n\tmallory@evil.org\r\n" + body);
  ASSERT_TRUE(report.accepted);
  EXPECT_EQ(report.queueId, "md5000000001");

  std::vector<std::string> held = root.messagesOf("boss@example.com");
  ASSERT_EQ(held.size(), 1u);
  std::size_t fieldEnd = held[0].find("\r\n") + 2;
  EXPECT_EQ(held[0].substr(fieldEnd),
            header + "X-Sign-Rcpt: bob@example.com\r\nX-Sign-Rcpt: boss@example.com\r\n" + body);
  std::vector<std::string> received = headerFieldValues(held[0], "Received");
  ASSERT_EQ(received.size(), 1u);
  EXPECT_TRUE(received[0].starts_with(
      "from [127.0.0.1] by example.com with ESMTP id md5000000001.msg for <boss@example.com>; "))
      << received[0];
  EXPECT_EQ(root.store.listMessages(root.mailboxDirectory("boss@example.com"))[0].id, "md5000000001");
}

TEST_F(DeliveryTest, RulesAreReadAfreshForEveryMessage) {
  Envelope envelope{"ann@example.com", {"bob@example.com"}};
  std::string message = "From: ann@example.com\r\n\r\nbody\r\n";
  ASSERT_TRUE(root.delivery.deliver(envelope, message).accepted);
  root.writeRules(kBossRule);
  ASSERT_TRUE(root.delivery.deliver(envelope, message).accepted);
  root.writeRules("");
  ASSERT_TRUE(root.delivery.deliver(envelope, message).accepted);

  EXPECT_EQ(root.messagesOf("bob@example.com").size(), 2u);
  EXPECT_EQ(root.messagesOf("boss@example.com").size(), 1u);
}

TEST_F(DeliveryTest, CopyToMissingMailboxStoresNothingAndIsNotAccepted) {
  root.writeRules(kBossRule +
                  signOffRule(3, "Sign_1_gone@example.com", {"ann@example.com"}, "gone@example.com"));
  DeliveryReport report = root.delivery.deliver(Envelope{"ann@example.com", {"bob@example.com"}},
                                                "From: ann@example.com\r\n\r\nx\r\n");
  EXPECT_FALSE(report.accepted);
  EXPECT_NE(report.summary.find("gone@example.com"), std::string::npos) << report.summary;
  EXPECT_TRUE(root.messagesOf("boss@example.com").empty());
  EXPECT_TRUE(root.messagesOf("bob@example.com").empty());
}

TEST_F(DeliveryTest, OutboxKeepsTheEnvelopeOfRemoteRecipients) {
  DeliveryReport report =
      root.delivery.deliver(Envelope{"bob@example.com", {"x@other.org", "ann@example.com", "y@third.net"}},
                            "Subject: out\r\n\r\nx\r\n");
  ASSERT_TRUE(report.accepted);
  std::string envelope = testsupport::readFile(root.layout.outboxDirectory() + "/" + report.queueId + ".env");
  EXPECT_EQ(envelope, "[Envelope]\r\nFrom=bob@example.com\r\nTo=x@other.org,y@third.net\r\n");
  std::string kept = testsupport::readFile(root.layout.outboxDirectory() + "/" + report.queueId + ".msg");
  EXPECT_TRUE(kept.starts_with("Received: from [127.0.0.1] by mailsandbox with ESMTP id " + report.queueId +
                               ".msg; "))
      << kept;
  EXPECT_TRUE(kept.ends_with("\r\nSubject: out\r\n\r\nx\r\n"));
}

TEST_F(DeliveryTest, ProblemsOfTheRuleFileAreReported) {
  root.writeRules(
      "[Rule001]\nRuleName=Sign_0_boss@example.com\nCondition01=FROM|contains|OR|ann@example.com|\n"
      "Action01=forward to|\"boss@example.com\"\nAction02=copy to|\"boss@example.com\"\nAction03=delete|\n");
  DeliveryReport report = root.delivery.deliver(Envelope{"ann@example.com", {"bob@example.com"}},
                                                "From: ann@example.com\r\n\r\nx\r\n");
  ASSERT_TRUE(report.accepted);
  ASSERT_EQ(report.warnings.size(), 1u);
  EXPECT_NE(report.warnings[0].find("forward to"), std::string::npos);
  EXPECT_EQ(root.messagesOf("boss@example.com").size(), 1u);
}

TEST(SignOffRules, ConditionsAndActionsAsWritten) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir.file("cfrules.dat"),
                         kOtherRule + kBossRule + "[Rule004]\nRuleName=Sign_2_x@example.com\nEnable=yes\n" +
                             "Action01=copy to|\"a@example.com\";b@example.com, \"c@example.com\"\n");
  RuleFile file = readSignOffRules(dir.file("cfrules.dat"));
  ASSERT_TRUE(file.error.empty());
  ASSERT_EQ(file.rules.size(), 2u);

  const SignOffRule& boss = file.rules[0];
  EXPECT_EQ(boss.ruleName, "Sign_0_boss@example.com");
  EXPECT_TRUE(boss.enabled && boss.everyCondition && boss.deletesMessage);
  ASSERT_EQ(boss.conditions.size(), 2u);
  EXPECT_EQ(boss.conditions[0].field, "FROM");
  EXPECT_EQ(boss.conditions[0].texts, (std::vector<std::string>{"cid@example.com", "ann@example.com"}));
  EXPECT_FALSE(boss.conditions[0].negated || boss.conditions[0].everyText);
  EXPECT_TRUE(boss.conditions[1].negated && boss.conditions[1].everyText);
  EXPECT_EQ(boss.copyTo, std::vector<std::string>{"boss@example.com"});

  EXPECT_EQ(file.rules[1].copyTo,
            (std::vector<std::string>{"a@example.com", "b@example.com", "c@example.com"}));
  EXPECT_TRUE(file.rules[1].conditions.empty());
  EXPECT_TRUE(file.rules[1].problems.empty());

  EXPECT_TRUE(readSignOffRules(dir.file("missing.dat")).rules.empty());
  EXPECT_TRUE(readSignOffRules(dir.file("missing.dat")).error.empty());
}

}  // namespace
}  // namespace mailsandbox::test
