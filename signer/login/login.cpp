#include "login/login.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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
constexpr char kLoginCaFile[] = QT_TRANSLATE_NOOP("Signer", "CA证书文件:");
constexpr char kLoginPin[] = QT_TRANSLATE_NOOP("Signer", "证书指纹(SHA-256):");
constexpr char kPinFormat[] = QT_TRANSLATE_NOOP(
    "Signer", "指纹为64位十六进制数字，可用冒号分隔；填写指纹后只比对指纹，不再检查证书颁发机构。");

// What goes into an INI line or a protocol line must stay one line.
bool HoldsLineBreak(const QString& text) {
  return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(u'\0'));
}

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
      m_securityCombo(MakeSecurityCombo(this)),
      m_caFileEdit(MakeEdit("caFile", this)),
      m_caBrowse(MakeButton(QT_TRANSLATE_NOOP("Signer", "浏览..."), "caBrowse", this)),
      m_pinEdit(MakeEdit("pin", this)) {
  setWindowTitle(Tr(res::text::kLoginTitle));
  // Closing the main window ends the program even while a login is asked for.
  setAttribute(Qt::WA_QuitOnClose, false);
  m_passwordEdit->setEchoMode(QLineEdit::Password);
  m_authCheck->setObjectName(QStringLiteral("auth"));
  m_caFileEdit->setToolTip(Tr(QT_TRANSLATE_NOOP(
      "Signer", "公司证书颁发机构的PEM文件；系统信任的证书颁发机构照常有效。")));
  m_caBrowse->setAutoDefault(false);
  m_pinEdit->setMinimumWidth(m_pinEdit->fontMetrics().horizontalAdvance(QString(40, u'0')));

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
  // The check box belongs to the SMTP server; the connection's security and what it trusts follow.
  fields->addWidget(m_authCheck, row++, 1);
  fields->addWidget(new QLabel(Tr(kLoginSecurity), this), row, 0);
  fields->addWidget(m_securityCombo, row++, 1);
  auto* caFile = new QHBoxLayout;
  caFile->addWidget(m_caFileEdit, 1);
  caFile->addWidget(m_caBrowse);
  fields->addWidget(new QLabel(Tr(kLoginCaFile), this), row, 0);
  fields->addLayout(caFile, row++, 1);
  fields->addWidget(new QLabel(Tr(kLoginPin), this), row, 0);
  fields->addWidget(m_pinEdit, row++, 1);
  auto* pinFormat = new QLabel(Tr(kPinFormat), this);
  pinFormat->setObjectName(QStringLiteral("pinFormat"));
  pinFormat->setWordWrap(true);
  fields->addWidget(pinFormat, row, 1);

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

  QWidget* const onScreen[] = {m_userEdit,      m_passwordEdit, m_serverEdit, m_pop3PortEdit,
                               m_smtpPortEdit,  m_authCheck,    m_securityCombo,
                               m_caFileEdit,    m_caBrowse,     m_pinEdit,    ok,
                               cancel};
  for (std::size_t at = 1; at < std::size(onScreen); ++at)
    setTabOrder(onScreen[at - 1], onScreen[at]);

  connect(m_securityCombo, &QComboBox::currentIndexChanged, this, &CLogin::EnableTlsFields);
  connect(m_caBrowse, &QPushButton::clicked, this, &CLogin::BrowseCaFile);
  EnableTlsFields();
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
  m_caFileEdit->setText(UiText(settings.tlsCaFile));
  m_pinEdit->setText(UiText(settings.tlsPinSha256));
  (m_userEdit->text().isEmpty() ? m_userEdit : m_passwordEdit)->setFocus();
}

void CLogin::accept() {
  int pop3Port = 0;
  int smtpPort = 0;
  if (!ExchangePort(m_pop3PortEdit, pop3Port) || !ExchangePort(m_smtpPortEdit, smtpPort)) return;
  if (!TextsUsable()) return;
  const auto security =
      static_cast<postwell::ConnectionSecurity>(m_securityCombo->currentData().toInt());
  const QString caFile = m_caFileEdit->text().trimmed();
  const QString pin = m_pinEdit->text().trimmed();

  m_strUser = Bytes(m_userEdit->text());
  m_strPass = Bytes(m_passwordEdit->text());
  m_strHost = Bytes(m_serverEdit->text());
  m_nPop3Port = pop3Port;
  m_nSmtpPort = smtpPort;
  const bool auth = m_authCheck->isChecked();
  WriteLoginSettings(
      {m_strUser, m_strHost, m_nPop3Port, m_nSmtpPort, auth, security, Bytes(caFile), Bytes(pin)});
  emit AccountEntered({m_strHost, m_nSmtpPort, auth, m_strUser, m_strPass});
  QDialog::accept();
}

bool CLogin::ExchangePort(QLineEdit* edit, int& port) {
  bool isNumber = false;
  port = edit->text().trimmed().toInt(&isNumber);
  // A port beyond 65535 would wrap around to another port when the session connects.
  if (isNumber && port >= 1 && port <= 65535) return true;
  return Refuse(edit, Tr(res::text::kParseInt));
}

bool CLogin::TextsUsable() {
  for (QLineEdit* edit : {m_userEdit, m_passwordEdit, m_serverEdit, m_caFileEdit, m_pinEdit})
    if (HoldsLineBreak(edit->text()))
      return Refuse(edit, Tr(QT_TRANSLATE_NOOP("Signer", "输入的内容不能包含换行符。")));
  if (!m_caFileEdit->isEnabled()) return true;
  const QString caFile = m_caFileEdit->text().trimmed();
  const QFileInfo ca(caFile);
  if (!caFile.isEmpty() && !(ca.isFile() && ca.isReadable()))
    return Refuse(m_caFileEdit, Tr(QT_TRANSLATE_NOOP("Signer", "无法读取CA证书文件%1。"))
                                    .arg(QDir::toNativeSeparators(caFile)));
  const QString pin = m_pinEdit->text().trimmed();
  if (!pin.isEmpty() && !IsSha256Fingerprint(Bytes(pin)))
    return Refuse(m_pinEdit, Tr(QT_TRANSLATE_NOOP(
                                 "Signer", "证书指纹应为64位十六进制数字(SHA-256)，可用冒号分隔。")));
  return true;
}

bool CLogin::Refuse(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  auto* message = new QMessageBox(QMessageBox::Warning, Tr(res::text::kAppTitle), text,
                                  QMessageBox::Ok, this);
  message->button(QMessageBox::Ok)->setText(Tr(res::text::kOk));
  message->setAttribute(Qt::WA_DeleteOnClose);
  message->open();
  return false;
}

void CLogin::EnableTlsFields() {
  const bool secure = m_securityCombo->currentData().toInt() !=
                      static_cast<int>(postwell::ConnectionSecurity::None);
  for (QWidget* field : {static_cast<QWidget*>(m_caFileEdit), static_cast<QWidget*>(m_caBrowse),
                         static_cast<QWidget*>(m_pinEdit)})
    field->setEnabled(secure);
}

void CLogin::BrowseCaFile() {
  const QString chosen = QFileDialog::getOpenFileName(
      this, Tr(QT_TRANSLATE_NOOP("Signer", "选择CA证书文件")), m_caFileEdit->text(),
      Tr(QT_TRANSLATE_NOOP("Signer", "证书 (*.pem *.crt *.cer);;所有文件 (*)")));
  if (!chosen.isEmpty()) m_caFileEdit->setText(QDir::toNativeSeparators(chosen));
}
