#pragma once

#include <QDialog>
#include <string>

#include "store/signer_account.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

// The login dialog. It opens with the settings of Signer.ini and an empty password; OK stores the
// settings there (never the password) and reports the account entered.
class CLogin : public QDialog {
  Q_OBJECT
 public:
  explicit CLogin(QWidget* parent = nullptr);

  // Fills the fields from Signer.ini and puts the focus where typing starts.
  void OnInitDialog();
  // OK: keeps the entered values, or, when a port is not a number, says so and stays open.
  void accept() override;

 signals:
  // OK was pressed with usable values: the account to check the mailbox and send with.
  void AccountEntered(const tagSignerAccount& account);

 public:
  std::string m_strUser;
  std::string m_strPass;
  std::string m_strHost;
  int m_nPop3Port = 0;
  int m_nSmtpPort = 0;

 private:
  bool ExchangePort(QLineEdit* edit, int& port);

  QLineEdit* m_userEdit;
  QLineEdit* m_passwordEdit;
  QLineEdit* m_serverEdit;
  QLineEdit* m_pop3PortEdit;
  QLineEdit* m_smtpPortEdit;
  QCheckBox* m_authCheck;
  // None, STARTTLS, TLS: the items' data are the modes.
  QComboBox* m_securityCombo;
};
