#pragma once

#include <QApplication>

// The application: runs the main dialog, and the program ends with it.
class CvetruleApp : public QApplication {
  Q_OBJECT

 public:
  CvetruleApp(int& argc, char** argv);

  // Runs the main dialog modally; returns the program's exit code, whatever the dialog returned.
  int run();
};
