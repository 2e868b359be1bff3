#pragma once

#include <QDialog>

// The program's icon, name and version, with an OK button.
class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};
