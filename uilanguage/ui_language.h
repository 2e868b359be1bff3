#pragma once
// The language the desktop programs speak to their user: Chinese, the language of their own texts,
// or English through a Qt translation catalog. Only what is shown changes with it; texts that go
// over the wire or onto disk are the same in both.

#include <QString>
#include <optional>
#include <string_view>

namespace uilanguage {

enum class Language { kChinese, kEnglish };

// "en" or "zh", as the option and the INI key give it (case does not matter); nothing otherwise.
std::optional<Language> Parse(std::string_view name);

// The language of the user's locale as the C library chooses it for messages: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty. English when it names English ("en",
// "en_GB.UTF-8",
// ...), Chinese for any other locale, for C and POSIX, and when none is set.
Language FromEnvironment();

// The command-line option's value when it is set, else the INI file's value, else the locale. A
// value that names no language is reported on stderr and passed over.
Language Choose(const QString& option, const std::string& iniValue);

// Makes the application speak the language from here on, in place of any language installed
// before: English loads the program's catalog "<catalog>_en.qm" from beside the program or from
// ../share/mailsignoff/translations; Chinese loads Qt's own Chinese catalog when the machine has
// it, so that Qt's dialog buttons speak Chinese too. False when the English catalog cannot be
// found; the program then speaks Chinese, Qt's texts included. Call after the QApplication is
// made, on its thread.
bool Install(Language language, const QString& catalog);

// The folders searched for the program's catalog, in order.
QStringList CatalogFolders();

}  // namespace uilanguage
