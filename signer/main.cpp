// Signer: the supervisor's approval client. Settings (Signer.ini) and task files live in the
// current directory.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/signer_app.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Signer"));
  CSignerApp app;
  if (!app.InitInstance()) return 1;
  const int exitCode = QApplication::exec();
  if (!app.ExitInstance()) {
    // A worker still waits on a server: it ends with the process, which must not wait for it.
    std::fflush(nullptr);
    std::_Exit(exitCode);
  }
  return exitCode;
}
