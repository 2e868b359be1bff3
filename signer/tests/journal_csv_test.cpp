// The decisions exported for a spreadsheet, and the last reasons kept for the next return.
#include "store/journal_csv.h"

#include <gtest/gtest.h>

#include "current_dir.h"
#include "store/client_settings.h"

namespace {

TEST(JournalCsv, FieldsAreQuotedAndFormulasDefused) {
  tagDecision plain{"2026-12-11 09:00:00", "QV000000001", "w1", "alice@example.test",
                    "bob@example.test", "Quarterly figures", kDecisionApprove, "", "boss"};
  tagDecision hostile{"2026-12-11 09:01:00", "QV000000002", "w2", "\"Alice, A.\" <alice@example.test>",
                      "bob@example.test, carol@example.test", "=HYPERLINK(\"http://x\")",
                      kDecisionReturn, "-2+3 \"quoted\"", "boss"};
  const std::string csv = DecisionsCsv({"Time", "Decision", "From", "To", "Subject", "Reason",
                                        "Approver", "Task"},
                                       {plain, hostile}, "Approved", "Returned");
  EXPECT_EQ(csv,
            "\xEF\xBB\xBF"
            "Time,Decision,From,To,Subject,Reason,Approver,Task\r\n"
            "2026-12-11 09:00:00,Approved,alice@example.test,bob@example.test,Quarterly figures,,"
            "boss,QV000000001\r\n"
            "2026-12-11 09:01:00,Returned,\"\"\"Alice, A.\"\" <alice@example.test>\","
            "\"bob@example.test, carol@example.test\",\"'=HYPERLINK(\"\"http://x\"\")\","
            "\"'-2+3 \"\"quoted\"\"\",boss,QV000000002\r\n");
}

TEST(JournalCsv, ExportIsWrittenWholeOrNotAtAll) {
  CurrentTempDir dir;
  EXPECT_TRUE(WriteExportFile("decisions.csv", "a,b\r\n"));
  EXPECT_EQ(testsupport::readFile(dir.file("decisions.csv")), "a,b\r\n");
  EXPECT_FALSE(WriteExportFile("no-such-folder/decisions.csv", "a,b\r\n"));
}

TEST(LastReasons, NewestFirstEachOnceAtMostFiveOnOneLine) {
  CurrentTempDir dir;
  EXPECT_TRUE(ReadLastReasons().empty());
  for (const char* reason : {"one", "two", "three", "two", "four", "five", "six", "", "  "})
    RememberReason(reason);
  EXPECT_EQ(ReadLastReasons(), std::vector<std::string>({"six", "five", "four", "two", "three"}));
  RememberReason("line\r\nbreak");
  EXPECT_EQ(ReadLastReasons().front(), "line  break");
  EXPECT_EQ(ReadLastReasons().size(), 5u);
  // Blanks at the ends, which the file cannot keep, and a cut inside a character.
  RememberReason("  padded\t");
  EXPECT_EQ(ReadLastReasons().front(), "padded");
  std::string longReason(510, 'x');
  longReason += "缺附件";  // the cut at 511 bytes falls inside the first character
  RememberReason(longReason);
  EXPECT_EQ(ReadLastReasons().front(), std::string(510, 'x'));
}

TEST(ClientSettings, DefaultsAndValuesFromSignerIni) {
  CurrentTempDir dir;
  tagClientSettings settings = ReadClientSettings();
  EXPECT_EQ(settings.oldAfterHours, 24);
  EXPECT_EQ(settings.confirmOver, 10);
  EXPECT_TRUE(settings.notify);
  testsupport::writeFile(dir.file("Signer.ini"),
                         "[Tasks]\r\nOldAfterHours=0\r\nConfirmOver=-3\r\n[Notify]\r\nEnable=0\r\n");
  settings = ReadClientSettings();
  EXPECT_EQ(settings.oldAfterHours, 0);
  EXPECT_EQ(settings.confirmOver, 0);
  EXPECT_FALSE(settings.notify);
}

}  // namespace
