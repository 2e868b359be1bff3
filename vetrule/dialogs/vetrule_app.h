#pragma once

#include <QApplication>
#include <QString>

// The application: runs the main dialog, and the program ends with it.
class CvetruleApp : public QApplication {
  Q_OBJECT

 public:
  CvetruleApp(int& argc, char** argv);

  // Runs the main dialog modally; returns the program's exit code, whatever the dialog returned:
  // 0, or 2 when the folder of --directory cannot be entered.
  int run();

 private:
  QString m_strDirectoryProblem;  // why --directory failed; empty when it did not
  bool m_bPrintOnly = false;      // --help or --version: printed, no dialog
};
