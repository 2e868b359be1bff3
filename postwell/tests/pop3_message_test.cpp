#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "postwell/pop3_message.h"
#include "temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;

CPop3Message messageOf(const std::string& text) {
  CPop3Message message;
  message.SetMessageText(text.data(), text.size());
  return message;
}

const std::string kMessage =
    "Received: from a by b; Mon, 1 Jan 2024\r\n"
    "received: from c by d;\r\n"
    "\tMon, 1 Jan 2024\r\n"
    "subject: Quarterly  report\r\n"
    "X-Subject: not this one\r\n"
    "To: first@example.test,\r\n"
    "\tsecond@example.test,\r\n"
    " third@example.test\r\n"
    "Cc : nobody@example.test\r\n"
    "From: \t Alice <alice@example.test>  \r\n"
    "Return-Path: <bounce@example.test>\r\n"
    "X-Encoded: Re: =?gb2312?B?YWJj?=\r\n"
    "\r\n"
    "Body line\r\n"
    "Subject: in the body\r\n";

struct Lookup {
  const char* name;
  int index;
  const char* value;
};

class Pop3MessageLookup : public ::testing::TestWithParam<Lookup> {};

TEST_P(Pop3MessageLookup, FindsTheField) {
  EXPECT_EQ(messageOf(kMessage).GetHeaderItem(GetParam().name, GetParam().index), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, Pop3MessageLookup,
    ::testing::Values(
        Lookup{"Subject", 0, "Quarterly  report"},  // lower-case name; two blanks stay two
        Lookup{"SUBJECT", 1, ""},                   // the body is not searched
        Lookup{"Received", 0, "from a by b; Mon, 1 Jan 2024"},
        Lookup{"Received", 1, "from c by d; Mon, 1 Jan 2024"},
        Lookup{"Received", 2, ""},
        Lookup{"To", 0, "first@example.test, second@example.test, third@example.test"},
        Lookup{"Cc", 0, ""},  // a blank before the colon
        Lookup{"From", 0, "Alice <alice@example.test>"},
        Lookup{"Subjec", 0, ""},
        Lookup{"X-Encoded", 0, "Re: abc"},
        Lookup{"Bcc", 0, ""}));

TEST(Pop3Message, HeadAndBody) {
  const CPop3Message message = messageOf("A: 1\r\n\r\nbody\r\n\r\nmore\r\n");
  EXPECT_EQ(message.GetHeader(), "A: 1");
  EXPECT_STREQ(message.GetRawBody(), "body\r\n\r\nmore\r\n");
  EXPECT_EQ(message.GetBody(), "body\r\n\r\nmore\r\n");

  const CPop3Message headOnly = messageOf("A: 1\r\nB: 2\r\n");
  EXPECT_EQ(headOnly.GetHeader(), "A: 1\r\nB: 2\r\n");
  EXPECT_EQ(headOnly.GetRawBody(), nullptr);
  EXPECT_EQ(headOnly.GetBody(), "");
  EXPECT_EQ(headOnly.GetHeaderItem("B", 0), "2");

  const CPop3Message empty;
  EXPECT_EQ(empty.GetMessageText(), nullptr);
  EXPECT_EQ(empty.GetHeader(), "");
  EXPECT_EQ(empty.GetRawBody(), nullptr);
  EXPECT_EQ(empty.GetSubject(), "");
}

TEST(Pop3Message, NamedFieldsAndReplyToFallbacks) {
  CPop3Message message = messageOf(kMessage);
  EXPECT_EQ(message.GetSubject(), "Quarterly  report");
  EXPECT_EQ(message.GetFrom1(), message.GetFrom());
  EXPECT_EQ(message.GetReplyTo(), "Alice <alice@example.test>");
  EXPECT_EQ(messageOf("Reply-To: r@x\r\nFrom: f@x\r\n\r\n").GetReplyTo(), "r@x");
  EXPECT_EQ(messageOf("Sender: s@x\r\nReturn-Path: <p@x>\r\n\r\n").GetReplyTo(), "s@x");
  EXPECT_EQ(messageOf("Return-Path: <p@x>\r\n\r\n").GetReplyTo(), "<p@x>");
  EXPECT_EQ(messageOf("Date: today\r\nX-MPFlag: 7\r\n\r\n").GetSPFlag(), "7");
}

TEST(Pop3Message, ValueTooLongToDecodeStaysAsItCame) {
  const std::string value = "=?utf-8?Q?x?= " + std::string(1100, 'y');
  EXPECT_EQ(messageOf("Subject: " + value + "\r\n\r\n").GetSubject(), value);
}

TEST(Pop3Message, HeaderItemExCutsToTheBuffer) {
  const CPop3Message message = messageOf("Subject: " + std::string(2000, 's') + "\r\n\r\n");
  char buffer[1024];
  std::memset(buffer, 'z', sizeof buffer);
  message.GetHeaderItemEx("Subject", buffer, sizeof buffer);
  EXPECT_EQ(std::strlen(buffer), 1023u);

  char small[8] = "full";
  message.GetHeaderItemEx("Missing", small, sizeof small);
  EXPECT_STREQ(small, "");
}

TEST(Pop3Message, CopiesOwnTheirText) {
  CPop3Message original = messageOf("Subject: a\r\n\r\n");
  CPop3Message copy(original);
  CPop3Message assigned;
  assigned = original;
  original.SetMessageText("Subject: b\r\n\r\n", 14);
  EXPECT_EQ(copy.GetSubject(), "a");
  EXPECT_EQ(assigned.GetSubject(), "a");
  EXPECT_EQ(original.GetSubject(), "b");
}

TEST(Pop3Message, SaveToDiskAppendsAndCreatesDirectories) {
  TempDir dir;
  const std::string path = dir.file("deep/er/task.eml");
  CPop3Message message = messageOf("Subject: a\r\n\r\nbody\r\n");
  unsigned long error = 0;
  ASSERT_EQ(message.SaveToDisk(path.c_str(), error), 1);
  ASSERT_EQ(message.SaveToDisk(path.c_str(), error), 1);
  EXPECT_EQ(readFile(path), "Subject: a\r\n\r\nbody\r\nSubject: a\r\n\r\nbody\r\n");
  EXPECT_EQ(error, 0u);
}

TEST(Pop3Message, SaveToDiskReportsAFileThatCannotBeWritten) {
  TempDir dir;
  CPop3Message message = messageOf("Subject: a\r\n\r\n");
  unsigned long error = 0;
  // The path names a directory.
  EXPECT_EQ(message.SaveToDisk(dir.path().c_str(), error), 0);
  EXPECT_EQ(error, 4932u);
}

}  // namespace
