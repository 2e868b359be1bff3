#pragma once

#include <QDialog>
#include <QString>
#include <string>

class QComboBox;

// The return reason dialog: what the reason is for, one line of text with the last reasons given
// to choose from, OK and Cancel; Esc or the close box cancel too.
class CTextInput : public QDialog {
  Q_OBJECT
 public:
  // about: the task or tasks the reason is for.
  explicit CTextInput(const QString& about = {}, QWidget* parent = nullptr);
  // OK: keeps the text in m_strReason and puts it first among the last reasons.
  void accept() override;

  std::string m_strReason;

 private:
  QComboBox* m_reasonEdit;
};
