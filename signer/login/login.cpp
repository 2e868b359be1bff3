#include "login/login.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "store/dialog_texts.h"
#include "store/login_settings.h"
#include "store/ui_text.h"

namespace {

QLineEdit* MakeEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  return edit;
}

QLineEdit* MakePortEdit(const char* name, QWidget* parent) {
  QLineEdit* edit = MakeEdit(name, parent);
  const QRegularExpression digits(QStringLiteral("[0-9]*"));
  edit->setValidator(new QRegularExpressionValidator(digits, edit));
  return edit;
}

QPushButton* MakeButton(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(Tr(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

constexpr char kLoginSecurity[] = QT_TRANSLATE_NOOP("Signer", "连接安全:");

QComboBox* MakeSecurityCombo(QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QStringLiteral("security"));
  combo->addItem(Tr(QT_TRANSLATE_NOOP("Signer", "无")),
                 static_cast<int>(postwell::ConnectionSecurity::None));
  combo->addItem(QStringLiteral("STARTTLS"), static_cast<int>(postwell::ConnectionSecurity::StartTls));
  combo->addItem(QStringLiteral("SSL/TLS"), static_cast<int>(postwell::ConnectionSecurity::Tls));
  return combo;
}

}  // namespace

CLogin::CLogin(QWidget* parent)
    : QDialog(parent),
      m_userEdit(MakeEdit("user", this)),
      m_passwordEdit(MakeEdit("password", this)),
      m_serverEdit(MakeEdit("server", this)),
      m_pop3PortEdit(MakePortEdit("pop3Port", this)),
      m_smtpPortEdit(MakePortEdit("smtpPort", this)),
      m_authCheck(new QCheckBox(Tr(res::text::kLoginAuth), this)),
      m_securityCombo(MakeSecurityCombo(this)) {
  setWindowTitle(Tr(res::text::kLoginTitle));
  // Closing the main window ends the program even while a login is asked for.
  setAttribute(Qt::WA_QuitOnClose, false);
  m_passwordEdit->setEchoMode(QLineEdit::Password);
  m_authCheck->setObjectName(QStringLiteral("auth"));

  auto* fields = new QGridLayout;
  const std::pair<const char*, QLineEdit*> rows[] = {{res::text::kLoginUser, m_userEdit},
                                                     {res::text::kLoginPassword, m_passwordEdit},
                                                     {res::text::kLoginServer, m_serverEdit},
                                                     {res::text::kLoginPop3Port, m_pop3PortEdit},
                                                     {res::text::kLoginSmtpPort, m_smtpPortEdit}};
  int row = 0;
  for (const auto& [label, edit] : rows) {
    fields->addWidget(new QLabel(Tr(label), this), row, 0);
    fields->addWidget(edit, row++, 1);
  }
  fields->addWidget(new QLabel(Tr(kLoginSecurity), this), row, 0);
  fields->addWidget(m_securityCombo, row++, 1);
  fields->addWidget(m_authCheck, row, 1);

  QPushButton* ok = MakeButton(res::text::kOk, "ok", this);
  ok->setDefault(true);
  QPushButton* cancel = MakeButton(res::text::kCancel, "cancel", this);
  connect(ok, &QPushButton::clicked, this, &CLogin::accept);
  connect(cancel, &QPushButton::clicked, this, &CLogin::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CLogin::OnInitDialog() {
  const LoginSettings settings = ReadLoginSettings();
  m_userEdit->setText(UiText(settings.userName));
  m_serverEdit->setText(UiText(settings.server));
  m_passwordEdit->clear();
  m_nPop3Port = settings.pop3Port;
  m_nSmtpPort = settings.smtpPort;
  m_pop3PortEdit->setText(QString::number(m_nPop3Port));
  m_smtpPortEdit->setText(QString::number(m_nSmtpPort));
  m_authCheck->setChecked(settings.auth);
  m_securityCombo->setCurrentIndex(m_securityCombo->findData(static_cast<int>(settings.security)));
  (m_userEdit->text().isEmpty() ? m_userEdit : m_passwordEdit)->setFocus();
}

void CLogin::accept() {
  int pop3Port = 0;
  int smtpPort = 0;
  if (!ExchangePort(m_pop3PortEdit, pop3Port) || !ExchangePort(m_smtpPortEdit, smtpPort)) return;

  m_strUser = Bytes(m_userEdit->text());
  m_strPass = Bytes(m_passwordEdit->text());
  m_strHost = Bytes(m_serverEdit->text());
  m_nPop3Port = pop3Port;
  m_nSmtpPort = smtpPort;
  const bool auth = m_authCheck->isChecked();
  const auto security =
      static_cast<postwell::ConnectionSecurity>(m_securityCombo->currentData().toInt());
  WriteLoginSettings({m_strUser, m_strHost, m_nPop3Port, m_nSmtpPort, auth, security});
  emit AccountEntered({m_strHost, m_nSmtpPort, auth, m_strUser, m_strPass});
  QDialog::accept();
}

bool CLogin::ExchangePort(QLineEdit* edit, int& port) {
  bool isNumber = false;
  port = edit->text().trimmed().toInt(&isNumber);
  // A port beyond 65535 would wrap around to another port when the session connects.
  if (isNumber && port >= 1 && port <= 65535) return true;
  edit->setFocus();
  edit->selectAll();
  auto* message = new QMessageBox(QMessageBox::Warning, Tr(res::text::kAppTitle),
                                  Tr(res::text::kParseInt), QMessageBox::Ok, this);
  message->button(QMessageBox::Ok)->setText(Tr(res::text::kOk));
  message->setAttribute(Qt::WA_DeleteOnClose);
  message->open();
  return false;
}
