#include "dialogs/vetrule_app.h"

#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>
#include <cstdio>

#include "dialogs/app_icon.h"
#include "dialogs/ui_text.h"
#include "dialogs/vetrule_dlg.h"
#include "mailsignoff_version.h"
#include "platform/profile.h"
#include "ui_language.h"

namespace {

// Settings of the program itself, beside the rule file in the current directory.
constexpr char kVetruleIni[] = "./vetrule.ini";

struct Options {
  QString language;
  QString directory;
  bool help = false;
  bool version = false;
};

// The options of the program; other arguments are left alone, as they always were.
Options ParseOptions(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption language(QStringLiteral("language"), QString(),
                                    QStringLiteral("language"));
  const QCommandLineOption directory(QStringLiteral("directory"), QString(),
                                     QStringLiteral("folder"));
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  parser.addOptions({language, directory, help, version});
  parser.parse(arguments);
  return {parser.value(language), parser.value(directory), parser.isSet(help),
          parser.isSet(version)};
}

constexpr char kUsage[] =
    "usage: vetrule [--directory FOLDER] [--language en|zh]\n"
    "  Edits the sign-off rules of cfrules.dat in the current directory, or in FOLDER: the mail\n"
    "  server's App folder, beside ../Users/<domain>/<mailbox>/.\n"
    "  --directory FOLDER   work in FOLDER (the desktop entry: /var/lib/mailsignoff/App)\n"
    "  --language en|zh     English or Chinese, whatever the locale and vetrule.ini say\n"
    "  --version            print the version\n";

}  // namespace

CvetruleApp::CvetruleApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("vetrule"));
  setApplicationVersion(QStringLiteral(MAILSIGNOFF_VERSION));
  setDesktopFileName(QStringLiteral("mailsignoff-vetrule"));
  setWindowIcon(vetrule::applicationIcon());
  const Options options = ParseOptions(arguments());
  if (options.help || options.version) {
    std::fputs(options.help ? kUsage : "vetrule " MAILSIGNOFF_VERSION "\n", stdout);
    m_bPrintOnly = true;
  }
  // Before anything is read: vetrule.ini and cfrules.dat are those of that folder.
  if (!options.directory.isEmpty() && !QDir::setCurrent(options.directory))
    m_strDirectoryProblem = options.directory;
  const std::string iniLanguage =
      platform::getPrivateProfileString("UI", "Language", "", kVetruleIni);
  if (!uilanguage::Install(uilanguage::Choose(options.language, iniLanguage),
                           QStringLiteral("vetrule")))
    std::fputs("vetrule: the English texts (vetrule_en.qm) are missing; showing Chinese\n", stderr);
}

int CvetruleApp::run() {
  if (m_bPrintOnly) return 0;
  if (!m_strDirectoryProblem.isEmpty()) {
    const QString text =
        vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "无法进入目录 %1：它不存在或不可访问。"))
            .arg(m_strDirectoryProblem);
    std::fprintf(stderr, "vetrule: cannot enter the folder %s\n",
                 m_strDirectoryProblem.toLocal8Bit().constData());
    QMessageBox::critical(nullptr, vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "Ledra签审设置工具")),
                          text);
    return 2;
  }
  CvetruleDlg dialog;
  dialog.exec();
  return 0;
}
