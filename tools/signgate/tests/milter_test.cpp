// The gate program as an MTA sees it: a scripted MTA sends each message's events over the milter
// protocol and reads the answer and the changes, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/rule_file_writer.h"
#include "core/sign_off_rule.h"
#include "milter_client.h"
#include "temp_dir.h"

namespace {

using milterclient::Answer;
using milterclient::Change;
using milterclient::ScriptedMessage;

class Gate : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteRules({"ann@example.test", "cid@example.test"});
    gate = std::make_unique<milterclient::GateProcess>(dir.file("cfrules.dat"), dir.file("gate.log"));
  }

  // boss signs off for the users, as vetrule saves it.
  void WriteRules(std::list<std::string> users) {
    vetrule::SupervisorRecord boss{"boss@example.test", std::move(users), {}};
    vetrule::RuleLists lists;
    ASSERT_TRUE(vetrule::saveRules({{boss.supervisorAddress, &boss}}, lists, dir.file("cfrules.dat")));
  }

  Answer Send(const ScriptedMessage& message) {
    milterclient::Client client;
    std::string error;
    EXPECT_TRUE(client.open(gate->port(), error)) << error;
    return client.send(message);
  }

  std::string Log() { return testsupport::readFile(dir.file("gate.log")); }

  testsupport::TempDir dir;
  std::unique_ptr<milterclient::GateProcess> gate;
};

ScriptedMessage Message(std::string login, std::string sender, std::vector<std::string> recipients,
                        std::vector<std::pair<std::string, std::string>> headers) {
  ScriptedMessage message;
  message.authLogin = std::move(login);
  message.sender = std::move(sender);
  message.recipients = std::move(recipients);
  message.headers = std::move(headers);
  return message;
}

ScriptedMessage FromAnn() {
  return Message("", "<ann@example.test>", {"<bob@example.test>", "<secret@other.test>"},
                 {{"From", "Ann <ann@example.test>"}, {"To", "bob@example.test"}, {"Subject", "Figures"}});
}

std::vector<Change> Kind(const Answer& answer, char kind) {
  std::vector<Change> found;
  std::copy_if(answer.changes.begin(), answer.changes.end(), std::back_inserter(found),
               [&](const Change& change) { return change.kind == kind; });
  return found;
}

TEST_F(Gate, HoldsTheUsersMessageForTheSupervisorAndKeepsItsRecipients) {
  ScriptedMessage message = FromAnn();
  // Recipient fields the user wrote would become recipients after approval.
  message.headers.push_back({"X-Sign-Rcpt", "eve@evil.test"});
  message.headers.push_back({"x-sign-rcpt", "mallory@evil.test"});
  const Answer answer = Send(message);
  ASSERT_EQ(answer.action, 'a') << answer.reply;

  const auto removed = Kind(answer, '-');
  ASSERT_EQ(removed.size(), 2u);
  EXPECT_EQ(removed[0].name, "<bob@example.test>");
  EXPECT_EQ(removed[1].name, "<secret@other.test>");
  const auto added = Kind(answer, '+');
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(added[0].name, "<boss@example.test>");

  // Both forged fields go, the last first so that the indexes stay right.
  const auto changed = Kind(answer, 'm');
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_EQ(changed[0].index, 2u);
  EXPECT_EQ(changed[1].index, 1u);
  EXPECT_TRUE(changed[0].value.empty() && changed[1].value.empty());
  const auto fields = Kind(answer, 'h');
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].name, "X-Sign-Rcpt");
  EXPECT_EQ(fields[0].value, "bob@example.test");
  EXPECT_EQ(fields[1].value, "secret@other.test");

  const auto inserted = Kind(answer, 'i');
  ASSERT_EQ(inserted.size(), 1u);
  EXPECT_EQ(inserted[0].index, 0u);
  EXPECT_EQ(inserted[0].name, "Received");
  EXPECT_EQ(inserted[0].value.find("from pc1.example.test by mx.example.test with ESMTP id 4AbC123.msg "
                                   "for <boss@example.test>; "),
            0u)
      << inserted[0].value;
  EXPECT_NE(Log().find("4AbC123: held: from ann@example.test for boss@example.test"), std::string::npos)
      << Log();
}

TEST_F(Gate, NeverAsksForTheBodyAndStopsCleanlyOnSigterm) {
  milterclient::Client client;
  std::string error;
  ASSERT_TRUE(client.open(gate->port(), error)) << error;
  EXPECT_NE(client.skippedSteps() & 0x10, 0u);
  client.close();
  EXPECT_EQ(gate->stop(), 0);
  EXPECT_NE(Log().find("stopped"), std::string::npos) << Log();
}

struct FromCase {
  const char* name;
  std::string header;
  std::string value;
};

class GateFromField : public Gate, public ::testing::WithParamInterface<FromCase> {};

TEST_P(GateFromField, FindsTheUserWhateverTheFieldLooksLike) {
  ScriptedMessage message = FromAnn();
  message.sender = "<someone@other.test>";
  message.headers[0] = {GetParam().header, GetParam().value};
  const Answer answer = Send(message);
  EXPECT_EQ(answer.action, 'a');
  ASSERT_EQ(Kind(answer, '+').size(), 1u) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, GateFromField,
    ::testing::Values(FromCase{"UpperCaseName", "FROM", "ann@example.test"},
                      FromCase{"Folded", "From", "\"Lee, Ann\"\r\n\t<ANN@Example.Test>"},
                      FromCase{"EightBitName", "From", "\xe5\xbc\xa0\xe4\xb8\x89 <ann@example.test>"},
                      FromCase{"SecondOfTwo", "From", "bob@other.test, cid@example.test"},
                      FromCase{"Comment", "From", "ann@example.test (Ann)"}),
    [](const ::testing::TestParamInfo<FromCase>& info) { return std::string(info.param.name); });

struct MarkerCase {
  const char* name;
  std::string login;
  std::string sender;
  std::string marker;
  char action;
};

class GateMarker : public Gate, public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(GateMarker, PassesOnlyTheSupervisorsApproval) {
  ScriptedMessage message = FromAnn();
  message.authLogin = GetParam().login;
  message.sender = GetParam().sender;
  message.headers.push_back({"X-Sign", GetParam().marker});
  message.headers.push_back({"X-Sign-Stat", "Approve By boss"});
  const Answer answer = Send(message);
  EXPECT_EQ(answer.action, GetParam().action) << answer.reply;
  EXPECT_TRUE(answer.changes.empty());
  if (GetParam().action == 'y') {
    EXPECT_EQ(answer.reply.rfind("550 5.7.1 ", 0), 0u) << answer.reply;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Approvals, GateMarker,
    ::testing::Values(MarkerCase{"BySupervisor", "boss", "<ann@example.test>", "vandry!", 'a'},
                      MarkerCase{"ReturnBySupervisor", "boss@example.test", "<boss@example.test>",
                                 "vandry!", 'a'},
                      MarkerCase{"WrittenByUser", "ann", "<ann@example.test>", "vandry!", 'y'},
                      MarkerCase{"WithoutLogin", "", "<ann@example.test>", " VANDRY! ", 'y'},
                      MarkerCase{"ByAnotherUser", "cid", "<ann@example.test>", "vandry!", 'y'}),
    [](const ::testing::TestParamInfo<MarkerCase>& info) { return std::string(info.param.name); });

TEST_F(Gate, PassesMailOfUsersWithoutARuleUntouched) {
  const Answer answer =
      Send(Message("bob", "<bob@example.test>", {"<ann@example.test>"}, {{"From", "bob@example.test"}}));
  EXPECT_EQ(answer.action, 'a');
  EXPECT_TRUE(answer.changes.empty());
  EXPECT_NE(Log().find("4AbC123: passed: not supervised"), std::string::npos) << Log();
}

TEST_F(Gate, HoldsAThousandRecipients) {
  ScriptedMessage message = FromAnn();
  message.recipients.clear();
  for (int i = 0; i < 1000; ++i) message.recipients.push_back("<r" + std::to_string(i) + "@other.test>");
  const Answer answer = Send(message);
  ASSERT_EQ(answer.action, 'a');
  EXPECT_EQ(Kind(answer, '-').size(), 1000u);
  EXPECT_EQ(Kind(answer, 'h').size(), 1000u);
  EXPECT_EQ(Kind(answer, 'h').back().value, "r999@other.test");
}

TEST_F(Gate, DefersEverythingWhileTheRulesCannotBeRead) {
  std::string text = testsupport::readFile(dir.file("cfrules.dat"));
  testsupport::writeFile(dir.file("cfrules.dat"), text.substr(0, text.size() - 4));
  Answer answer = Send(FromAnn());
  EXPECT_EQ(answer.action, 'y');
  EXPECT_EQ(answer.reply.rfind("451 4.3.0 ", 0), 0u) << answer.reply;
  // Mail of users without a rule waits as well: without rules nobody is known to be unsupervised.
  answer = Send(Message("", "<bob@example.test>", {"<ann@example.test>"}, {}));
  EXPECT_EQ(answer.action, 'y');

  testsupport::TempDir other;
  ASSERT_EQ(::rename(dir.file("cfrules.dat").c_str(), other.file("away").c_str()), 0);
  EXPECT_EQ(Send(FromAnn()).action, 'y');
  EXPECT_NE(Log().find("sign-off rules unavailable"), std::string::npos) << Log();
}

TEST_F(Gate, AChangedRuleFileAppliesToTheNextMessage) {
  ASSERT_EQ(Kind(Send(FromAnn()), '+').size(), 1u);
  WriteRules({"cid@example.test"});
  const Answer answer = Send(FromAnn());
  EXPECT_EQ(answer.action, 'a');
  EXPECT_TRUE(answer.changes.empty());
}

}  // namespace
