// Which language the programs speak: the option, then the INI key, then the locale.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ui_language.h"

namespace {

using uilanguage::Language;

// Sets the three locale variables for the test's life (a null value unsets one) and restores them.
class LocaleVariables {
 public:
  LocaleVariables(const char* lcAll, const char* lcMessages, const char* lang) {
    Set("LC_ALL", lcAll);
    Set("LC_MESSAGES", lcMessages);
    Set("LANG", lang);
  }
  ~LocaleVariables() {
    for (const Saved& saved : saved_) Put(saved.name, saved.had ? saved.value.c_str() : nullptr);
  }

 private:
  struct Saved {
    const char* name;
    bool had;
    std::string value;
  };
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_[count_++] = {name, old != nullptr, old != nullptr ? old : ""};
    Put(name, value);
  }
  static void Put(const char* name, const char* value) {
    if (value == nullptr)
      ::unsetenv(name);
    else
      ::setenv(name, value, 1);
  }
  Saved saved_[3];
  int count_ = 0;
};

struct LocaleCase {
  const char* lcAll;
  const char* lcMessages;
  const char* lang;
  Language expected;
};

class LanguageFromLocale : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(LanguageFromLocale, FollowsTheVariableThatDecidesMessages) {
  const LocaleCase& c = GetParam();
  LocaleVariables variables(c.lcAll, c.lcMessages, c.lang);
  EXPECT_EQ(uilanguage::FromEnvironment(), c.expected);
}

constexpr Language kEn = Language::kEnglish;
constexpr Language kZh = Language::kChinese;

INSTANTIATE_TEST_SUITE_P(
    Table, LanguageFromLocale,
    ::testing::Values(
        LocaleCase{nullptr, nullptr, nullptr, kZh}, LocaleCase{nullptr, nullptr, "C", kZh},
        LocaleCase{nullptr, nullptr, "POSIX", kZh}, LocaleCase{nullptr, nullptr, "C.UTF-8", kZh},
        LocaleCase{nullptr, nullptr, "zh_CN.UTF-8", kZh},
        LocaleCase{nullptr, nullptr, "de_DE.UTF-8", kZh}, LocaleCase{nullptr, nullptr, "en", kEn},
        LocaleCase{nullptr, nullptr, "en_US.UTF-8", kEn},
        LocaleCase{nullptr, nullptr, "en_GB", kEn}, LocaleCase{nullptr, nullptr, "en@euro", kEn},
        // Only the language, not any word that starts with its letters.
        LocaleCase{nullptr, nullptr, "eng", kZh},
        // LC_ALL over LC_MESSAGES over LANG; an empty value counts as unset.
        LocaleCase{"C", nullptr, "en_US.UTF-8", kZh},
        LocaleCase{"en_US.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8", kEn},
        LocaleCase{nullptr, "en_US.UTF-8", "zh_CN.UTF-8", kEn},
        LocaleCase{nullptr, "zh_CN.UTF-8", "en_US.UTF-8", kZh},
        LocaleCase{"", "", "en_US.UTF-8", kEn}, LocaleCase{"", "", "", kZh}));

TEST(LanguageChoice, OptionOverIniOverLocale) {
  LocaleVariables english(nullptr, nullptr, "en_US.UTF-8");
  EXPECT_EQ(uilanguage::Choose(QString(), ""), kEn);
  EXPECT_EQ(uilanguage::Choose(QString(), "zh"), kZh);
  EXPECT_EQ(uilanguage::Choose(QStringLiteral("zh"), "en"), kZh);
  EXPECT_EQ(uilanguage::Choose(QStringLiteral("EN"), "zh"), kEn);
  // A value that names no language is passed over for the next source.
  EXPECT_EQ(uilanguage::Choose(QStringLiteral("klingon"), "zh"), kZh);
  EXPECT_EQ(uilanguage::Choose(QStringLiteral("english"), "bogus"), kEn);

  LocaleVariables posix(nullptr, nullptr, "C");
  EXPECT_EQ(uilanguage::Choose(QString(), ""), kZh);
  EXPECT_EQ(uilanguage::Choose(QString(), "En"), kEn);
}

TEST(LanguageChoice, ParseTakesTheTwoLetterNamesOnly) {
  EXPECT_EQ(uilanguage::Parse("en"), kEn);
  EXPECT_EQ(uilanguage::Parse("ZH"), kZh);
  for (const char* name : {"", "e", "eng", "en_US", "zh_CN", "fr", "en\r\n", " en"})
    EXPECT_FALSE(uilanguage::Parse(name).has_value()) << name;
}

}  // namespace
