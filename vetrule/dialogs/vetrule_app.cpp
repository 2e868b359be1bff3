#include "dialogs/vetrule_app.h"

#include "dialogs/app_icon.h"
#include "dialogs/vetrule_dlg.h"

CvetruleApp::CvetruleApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("vetrule"));
  setApplicationVersion(QStringLiteral("1.0"));
  setWindowIcon(vetrule::applicationIcon());
}

int CvetruleApp::run() {
  CvetruleDlg dialog;
  dialog.exec();
  return 0;
}
