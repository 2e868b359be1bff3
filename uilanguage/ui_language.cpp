#include "ui_language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace uilanguage {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view start) {
  if (text.size() < start.size()) return false;
  for (std::size_t i = 0; i < start.size(); ++i) {
    const char c =
        text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != start[i]) return false;
  }
  return true;
}

// "en" alone or followed by a territory, codeset or modifier: "en_US", "en.UTF-8", "en@x".
bool NamesLanguage(std::string_view name, std::string_view language) {
  if (!StartsWithNoCase(name, language)) return false;
  if (name.size() == language.size()) return true;
  const char next = name[language.size()];
  return next == '_' || next == '-' || next == '.' || next == '@';
}

// The translators installed by Install. The application owns them: they live until the next
// Install or the application's end, whichever comes first.
std::vector<QPointer<QTranslator>>& Installed() {
  static std::vector<QPointer<QTranslator>> translators;
  return translators;
}

void RemoveInstalled() {
  for (const QPointer<QTranslator>& translator : Installed()) {
    if (translator.isNull()) continue;
    QCoreApplication::removeTranslator(translator);
    delete translator;
  }
  Installed().clear();
}

bool Load(const QString& name, const QStringList& folders) {
  auto translator = std::make_unique<QTranslator>();
  for (const QString& folder : folders) {
    if (!translator->load(name, folder)) continue;
    translator->setParent(QCoreApplication::instance());
    QCoreApplication::installTranslator(translator.get());
    Installed().emplace_back(translator.release());
    return true;
  }
  return false;
}

}  // namespace

std::optional<Language> Parse(std::string_view name) {
  if (name.size() == 2 && NamesLanguage(name, "en")) return Language::kEnglish;
  if (name.size() == 2 && NamesLanguage(name, "zh")) return Language::kChinese;
  return std::nullopt;
}

Language FromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    return NamesLanguage(value, "en") ? Language::kEnglish : Language::kChinese;
  }
  return Language::kChinese;
}

Language Choose(const QString& option, const std::string& iniValue) {
  if (!option.isEmpty()) {
    const QByteArray name = option.toUtf8();
    if (const auto language = Parse(std::string_view(name.constData(), name.size())))
      return *language;
    std::fprintf(stderr, "unknown language \"%s\" (en or zh); ignored\n", name.constData());
  }
  if (!iniValue.empty()) {
    if (const auto language = Parse(iniValue)) return *language;
    std::fprintf(stderr, "unknown language \"%s\" in the INI file (en or zh); ignored\n",
                 iniValue.c_str());
  }
  return FromEnvironment();
}

QStringList CatalogFolders() {
  const QString programDir = QCoreApplication::applicationDirPath();
  return {programDir,
          QDir(programDir).filePath(QStringLiteral("../share/mailsignoff/translations"))};
}

bool Install(Language language, const QString& catalog) {
  RemoveInstalled();
  if (language == Language::kEnglish && Load(catalog + QStringLiteral("_en"), CatalogFolders()))
    return true;
  // Chinese, chosen or for want of the English catalog: Qt's own texts in Chinese too.
  Load(QStringLiteral("qt_zh_CN"), {QLibraryInfo::path(QLibraryInfo::TranslationsPath)});
  return language == Language::kChinese;
}

}  // namespace uilanguage
