#pragma once

#include <QDialog>

// The About box: icon, name and version of the program.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};
