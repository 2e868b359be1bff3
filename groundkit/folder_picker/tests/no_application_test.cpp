// The folder picker from hosts that have no QApplication: one is created for
// the picker, and a host without any display gets a failure instead of a
// process that Qt ends.

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "groundkit/groundkit.h"

#if defined(__SANITIZE_ADDRESS__)
// The font library keeps memory to the end of the process; the sanitizer build
// would report it at every exit. Nothing of ours is hidden by this. The
// sanitizer looks both up by name.
#define SANITIZER_HOOK extern "C" __attribute__((visibility("default"), used))
SANITIZER_HOOK const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
SANITIZER_HOOK const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

namespace {

int failures = 0;

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "FAIL: %s\n", what);
    ++failures;
  }
}

// Runs when the picker creates the application: chooses the folder the picker
// opened at.
void chooseWhenOpen() {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, poll, [poll] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) {
        poll->deleteLater();
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
        return;
      }
    }
  });
  poll->start(10);
}
Q_COREAPP_STARTUP_FUNCTION(chooseWhenOpen)

}  // namespace

int main() {
  check(QCoreApplication::instance() == nullptr, "no application before the picker");
  QTemporaryDir dir;
  QString folder = QDir(dir.path()).canonicalPath();

  char chosen[1024] = "junk";
  QByteArray initial = QFile::encodeName(folder);
  check(BSCF_ShowFolderSelectDlg(chosen, "Folder", nullptr, nullptr, initial.constData()) == 1,
        "picker from a host without an application chooses");
  check(QFile::decodeName(chosen) == folder, "the folder chosen is the initial folder");
  check(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr,
        "the picker made an application");

  // A program without a GUI library and without a display: no dialog, no abort.
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
    environment.remove(name);
  QProcess host;
  host.setProcessEnvironment(environment);
  host.start(QStringLiteral(PICKFOLDER_PATH), {QStringLiteral("Folder")});
  check(host.waitForFinished(30000), "the host without a display ends");
  check(host.exitStatus() == QProcess::NormalExit && host.exitCode() == 1,
        "the host without a display gets no folder and is not ended by Qt");
  check(host.readAllStandardOutput().isEmpty(), "nothing is printed as chosen");

  std::printf(failures ? "FAILED\n" : "PASSED\n");
  return failures ? 1 : 0;
}
