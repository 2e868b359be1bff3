// Signer: the supervisor's approval client. Settings (Signer.ini) and task files live in the
// current directory, or in the folder of --directory or --data-folder.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/guided_tour.h"
#include "app/signer_app.h"
#include "mailsignoff_version.h"
#include "platform/profile.h"
#include "store/login_settings.h"
#include "ui_language.h"

#if defined(__SANITIZE_ADDRESS__)
// The desktop bus library keeps memory to the end of the process; the sanitizer build would report
// it at every exit. Nothing of ours is hidden by this. The sanitizer looks both up by name.
#define SANITIZER_HOOK extern "C" __attribute__((visibility("default"), used))
SANITIZER_HOOK const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
SANITIZER_HOOK const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Signer"));
  QApplication::setApplicationVersion(QStringLiteral(MAILSIGNOFF_VERSION));
  // The desktop entry (mailsignoff-signer.desktop) that started it, for the desktop's task bar.
  QApplication::setDesktopFileName(QStringLiteral("mailsignoff-signer"));
  QCommandLineParser options;
  options.addHelpOption();
  options.addVersionOption();
  const QCommandLineOption tour(
      QStringLiteral("tour"),
      QStringLiteral("Run the guided tour by itself and save a picture of each step in <folder>; "
                     "the password comes from SIGNER_TOUR_PASSWORD."),
      QStringLiteral("folder"));
  const QCommandLineOption tourTasks(QStringLiteral("tour-tasks"),
                                     QStringLiteral("Held messages the tour waits for."),
                                     QStringLiteral("count"), QStringLiteral("2"));
  const QCommandLineOption language(
      QStringLiteral("language"),
      QStringLiteral(
          "Speak <language> to the user: en or zh. Without it, the Language key of "
          "section [UI] in Signer.ini, else the locale (English for en*, else Chinese)."),
      QStringLiteral("language"));
  const QCommandLineOption directory(
      QStringLiteral("directory"),
      QStringLiteral("Keep Signer.ini and the task folders in <folder> (made when missing) instead "
                     "of the current directory."),
      QStringLiteral("folder"));
  const QCommandLineOption dataFolder(
      QStringLiteral("data-folder"),
      QStringLiteral("Keep Signer.ini and the task folders in the user's data folder, "
                     "$XDG_DATA_HOME/mailsignoff/Signer (~/.local/share/mailsignoff/Signer); "
                     "the desktop entry starts Signer so."));
  options.addOption(tour);
  options.addOption(tourTasks);
  options.addOption(language);
  options.addOption(directory);
  options.addOption(dataFolder);
  options.process(application);
  // Before anything is read: Signer.ini and the stores are those of that folder.
  QString folder = options.value(directory);
  if (folder.isEmpty() && options.isSet(dataFolder))
    folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
             QStringLiteral("/mailsignoff/Signer");
  if (!folder.isEmpty() && (!QDir().mkpath(folder) || !QDir::setCurrent(folder))) {
    std::fprintf(stderr, "Signer: cannot make or enter the folder %s\n", qPrintable(folder));
    return 2;
  }
  const std::string iniLanguage =
      platform::getPrivateProfileString("UI", "Language", "", kSignerIni);
  if (!uilanguage::Install(uilanguage::Choose(options.value(language), iniLanguage),
                           QStringLiteral("signer")))
    std::fprintf(stderr, "Signer: the English texts (signer_en.qm) are missing; showing Chinese\n");

  tagSignerOptions signerOptions;
  // The tour sends what it decided within seconds, not at the next half minute.
  if (options.isSet(tour)) signerOptions.m_driverPeriod = std::chrono::seconds(2);
  CSignerApp app(signerOptions);
  if (!app.InitInstance()) return 1;
  std::unique_ptr<CGuidedTour> guidedTour;
  if (options.isSet(tour)) {
    tagTourOptions tourOptions;
    tourOptions.m_strScreenshotDir = options.value(tour);
    tourOptions.m_strPassword = qEnvironmentVariable("SIGNER_TOUR_PASSWORD");
    tourOptions.m_nTasks = std::max(2, options.value(tourTasks).toInt());
    guidedTour = std::make_unique<CGuidedTour>(app, tourOptions);
    QObject::connect(guidedTour.get(), &CGuidedTour::Finished, &application,
                     [](bool ok) { QApplication::exit(ok ? 0 : 3); });
    guidedTour->Start();
  }
  const int exitCode = QApplication::exec();
  if (!app.ExitInstance()) {
    // A worker still waits on a server: it ends with the process, which must not wait for it.
    std::fflush(nullptr);
    std::_Exit(exitCode);
  }
  return exitCode;
}
