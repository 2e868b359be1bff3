#pragma once

#include <string>
#include <vector>

#include <QDialog>

class QListWidget;

// Lets the administrator tick mailboxes of the mail server's Users directory; addresses of the
// exclusion list are not offered. When nothing is offered, the dialog says why: the directory is
// missing, holds no mailboxes, or all of them are in the list already.
class CUserSelDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CUserSelDlg(const std::vector<std::string>& exclusionList, QWidget* parent = nullptr);

  // After OK: the ticked addresses, top to bottom.
  const std::vector<std::string>& resultArray() const { return m_resultArray; }

  void accept() override;

 private:
  QListWidget* m_candidateList;
  std::vector<std::string> m_resultArray;
};
