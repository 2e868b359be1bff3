#include <gtest/gtest.h>

#include <string>

#include "postwell/smtp_message.h"

namespace {

TEST(SmtpAddress, RegularFormatShowsTheNameOnlyWhenThereIsOne) {
  EXPECT_EQ(CSMTPAddress("u@d.test").GetRegularFormat(), "u@d.test");
  EXPECT_EQ(CSMTPAddress("Jo Doe", "u@d.test").GetRegularFormat(), "Jo Doe <u@d.test>");
  CSMTPAddress copy;
  copy = CSMTPAddress("n", "a");
  EXPECT_EQ(copy.m_sName, "n");
  EXPECT_EQ(copy.m_sAddress, "a");
}

// Exposes the protected dot-stuffing.
struct StuffingMessage : CSMTPMessage {
  using CSMTPMessage::FixSingleDot;
};

struct StuffingCase {
  std::string text;
  std::string stuffed;
};

class DotStuffing : public ::testing::TestWithParam<StuffingCase> {};

TEST_P(DotStuffing, DoublesTheDotAtTheStartOfEveryLaterLine) {
  StuffingMessage message;
  message.AddBody(GetParam().text);
  EXPECT_EQ(message.m_sBody, GetParam().stuffed);
  std::string again = GetParam().text;
  message.FixSingleDot(again);
  EXPECT_EQ(again, GetParam().stuffed);
}

INSTANTIATE_TEST_SUITE_P(
    SmtpMessage, DotStuffing,
    ::testing::Values(StuffingCase{"a\r\n.\r\nb", "a\r\n..\r\nb"},
                      StuffingCase{".first\r\nsecond", ".first\r\nsecond"},
                      StuffingCase{"x\r\n.a\r\n.b\r\n.c", "x\r\n..a\r\n..b\r\n..c"},
                      StuffingCase{"x\n..\n.", "x\n...\n.."},
                      StuffingCase{"no dots", "no dots"}));

TEST(SmtpMessage, StartsEmpty) {
  CSMTPMessage message;
  EXPECT_TRUE(message.m_From.m_sAddress.empty());
  EXPECT_TRUE(message.m_arrRecipient.empty());
  EXPECT_EQ(message.m_pProgress, nullptr);
}

}  // namespace
