// The decision journal: one line per decision whatever the values hold, durable appends that
// survive a line cut short by a crash, and reading back only whole lines.
#include "store/decision_journal.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "current_dir.h"
#include "store/task_store.h"

namespace {

tagDecision Decision(const std::string& taskId, const std::string& waterId) {
  return {"2024-05-06 07:08:09", taskId, waterId, "\"Alice\" <alice@example.test>",
          "bob@example.test, carol@example.test", "Figures", kDecisionApprove, "", "boss"};
}

TEST(DecisionJournal, LineIsNineTabSeparatedFieldsInOrder) {
  tagDecision decision = Decision("QV000000001", "with ESMTP id md5001");
  decision.Decision = kDecisionReturn;
  decision.Reason = "too long";
  EXPECT_EQ(JournalLine(decision),
            "2024-05-06 07:08:09\tQV000000001\twith ESMTP id md5001\t\"Alice\" "
            "<alice@example.test>\tbob@example.test, carol@example.test\tFigures\treturn\ttoo "
            "long\tboss\n");
}

// Whatever a sender or the supervisor typed, a decision stays one line of nine fields.
TEST(DecisionJournal, TabsLineBreaksAndNulsInValuesBecomeBlanks) {
  const std::string nul("a\0b", 3);
  const struct {
    std::string value;
    std::string field;
  } cases[] = {{"a\tb", "a b"},         {"a\r\nb", "a  b"},   {"a\nb", "a b"},
               {"\rb\r", " b "},        {nul, "a b"},         {"审核\t退回", "审核 退回"},
               {"plain", "plain"}};
  for (const auto& [value, field] : cases) {
    SCOPED_TRACE(::testing::PrintToString(value));
    CurrentTempDir dir;
    const std::string home = HomeDirectory("boss");
    tagDecision decision = Decision("QV000000001", value);
    decision.Subject = value;
    decision.Reason = value;
    decision.Sender = value;
    ASSERT_TRUE(AppendDecision(home, decision));
    const std::vector<tagDecision> read = ReadDecisions(home);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].WaterId, field);
    EXPECT_EQ(read[0].Subject, field);
    EXPECT_EQ(read[0].Reason, field);
    EXPECT_EQ(read[0].Sender, field);
    EXPECT_EQ(read[0].Approver, "boss");
  }
}

TEST(DecisionJournal, AppendsKeepEveryEarlierLine) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  EXPECT_TRUE(ReadDecisions(home).empty());
  for (int n = 1; n <= 3; ++n)
    ASSERT_TRUE(AppendDecision(home, Decision(FormatTaskId(std::to_string(n)), "w")));
  const std::vector<tagDecision> read = ReadDecisions(home);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0], Decision("QV000000001", "w"));
  EXPECT_EQ(read[2], Decision("QV000000003", "w"));
}

// A power cut in the middle of an append leaves a line without its line feed: it is not read as
// a decision, and the next decision still gets a line of its own.
TEST(DecisionJournal, LineCutShortByACrashIsPassedOverAndTheNextStandsAlone) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  ASSERT_TRUE(AppendDecision(home, Decision("QV000000001", "w1")));
  const std::string whole = testsupport::readFile(DecisionJournalPath(home));
  const std::string cut = JournalLine(Decision("QV000000002", "w2")).substr(0, 35);
  testsupport::writeFile(DecisionJournalPath(home), whole + cut);
  EXPECT_EQ(ReadDecisions(home).size(), 1u);

  ASSERT_TRUE(AppendDecision(home, Decision("QV000000003", "w3")));
  EXPECT_EQ(testsupport::readFile(DecisionJournalPath(home)),
            whole + cut + "\n" + JournalLine(Decision("QV000000003", "w3")));
  const std::vector<tagDecision> read = ReadDecisions(home);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1], Decision("QV000000003", "w3"));
}

TEST(DecisionJournal, ReadsOnlyLinesOfNineFields) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  const std::string good = JournalLine(Decision("QV000000001", "w1"));
  std::string windows = JournalLine(Decision("QV000000002", "w2"));
  windows.insert(windows.size() - 1, "\r");  // the journal edited on Windows
  testsupport::writeFile(DecisionJournalPath(home),
                         "\n" + good + "a\tb\tc\n" + good.substr(0, good.size() - 1) + "\textra\n" +
                             windows);
  const std::vector<tagDecision> read = ReadDecisions(home);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].TaskId, "QV000000001");
  EXPECT_EQ(read[1], Decision("QV000000002", "w2"));
}

TEST(DecisionJournal, WaterIdsComeOnceEachWithoutEmptyOnes) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  for (const char* waterId : {"w1", "", "w2", "w1"})
    ASSERT_TRUE(AppendDecision(home, Decision("QV000000001", waterId)));
  EXPECT_EQ(DecidedWaterIds(home), (std::vector<std::string>{"w1", "w2"}));
}

// The journal cannot be written (here a folder stands where it should be).
TEST(DecisionJournal, AppendThatCannotWriteFails) {
  CurrentTempDir dir;
  const std::string home = HomeDirectory("boss");
  std::filesystem::create_directory(DecisionJournalPath(home));
  EXPECT_FALSE(AppendDecision(home, Decision("QV000000001", "w")));
}

}  // namespace
