// Signer: the supervisor's approval client. Settings (Signer.ini) and task files live in the
// current directory.
#include <QApplication>

#include "app/signer_app.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Signer"));
  CSignerApp app;
  if (!app.InitInstance()) return 1;
  const int exitCode = QApplication::exec();
  app.ExitInstance();
  return exitCode;
}
