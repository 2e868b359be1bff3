#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

// The return reason dialog: one line of text and OK; Esc or the close box cancel.
class CTextInput : public QDialog {
  Q_OBJECT
 public:
  explicit CTextInput(QWidget* parent = nullptr);
  // OK: keeps the text in m_strReason.
  void accept() override;

  std::string m_strReason;

 private:
  QLineEdit* m_reasonEdit;
};
