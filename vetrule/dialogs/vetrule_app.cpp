#include "dialogs/vetrule_app.h"

#include <QCommandLineParser>
#include <cstdio>

#include "dialogs/app_icon.h"
#include "dialogs/vetrule_dlg.h"
#include "platform/profile.h"
#include "ui_language.h"

namespace {

// Settings of the program itself, beside the rule file in the current directory.
constexpr char kVetruleIni[] = "./vetrule.ini";

// The --language option; other arguments are left alone, as they always were.
QString LanguageOption(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption language(QStringLiteral("language"), QString(),
                                    QStringLiteral("language"));
  parser.addOption(language);
  parser.parse(arguments);
  return parser.value(language);
}

}  // namespace

CvetruleApp::CvetruleApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("vetrule"));
  setApplicationVersion(QStringLiteral("1.0"));
  setWindowIcon(vetrule::applicationIcon());
  const std::string iniLanguage =
      platform::getPrivateProfileString("UI", "Language", "", kVetruleIni);
  if (!uilanguage::Install(uilanguage::Choose(LanguageOption(arguments()), iniLanguage),
                           QStringLiteral("vetrule")))
    std::fputs("vetrule: the English texts (vetrule_en.qm) are missing; showing Chinese\n", stderr);
}

int CvetruleApp::run() {
  CvetruleDlg dialog;
  dialog.exec();
  return 0;
}
