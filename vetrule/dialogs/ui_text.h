#pragma once
// The program's own texts in the language the user chose.

#include <QString>
#include <QtGlobal>
#include <string>

namespace vetrule {

// A text marked QT_TRANSLATE_NOOP("vetrule", ...) in the user's language; the source text itself
// when no translation is installed.
QString Tr(const char* source);

// The messages shown when the rule file cannot be opened or saved; in Chinese the same texts as
// openFailureMessage and saveFailureMessage give.
QString openFailureText(const std::string& path, int cause);
QString saveFailureText(const std::string& path, unsigned long systemError);

}  // namespace vetrule
