// The login dialog against Signer.ini in the current directory.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "app/signer_app.h"
#include "login/login.h"
#include "platform/profile.h"
#include "store/login_settings.h"
#include "working_dir.h"

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteIni(const QByteArray& text) {
  QFile file(QStringLiteral("Signer.ini"));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text);
}

// The widgets that take focus by Tab, row by row from the top and from left to right in a row: two
// widgets are in one row when the vertical centre of one lies within the other.
QList<QWidget*> InScreenOrder(QWidget* dialog) {
  QList<QWidget*> widgets;
  for (QWidget* child : dialog->findChildren<QWidget*>())
    if (child->isVisibleTo(dialog) && child->isEnabled() && (child->focusPolicy() & Qt::TabFocus) &&
        child->focusProxy() == nullptr)
      widgets << child;
  const auto shown = [dialog](QWidget* widget) {
    return QRect(widget->mapTo(dialog, QPoint(0, 0)), widget->size());
  };
  std::sort(widgets.begin(), widgets.end(),
            [&](QWidget* a, QWidget* b) { return shown(a).center().y() < shown(b).center().y(); });
  QList<QWidget*> ordered;
  for (qsizetype start = 0; start < widgets.size();) {
    qsizetype end = start + 1;
    while (end < widgets.size() && shown(widgets[start]).top() <= shown(widgets[end]).center().y() &&
           shown(widgets[end]).center().y() <= shown(widgets[start]).bottom())
      ++end;
    QList<QWidget*> row = widgets.mid(start, end - start);
    std::sort(row.begin(), row.end(),
              [&](QWidget* a, QWidget* b) { return shown(a).left() < shown(b).left(); });
    ordered << row;
    start = end;
  }
  return ordered;
}

constexpr char kPin[] = "9F:86:D0:81:88:4C:7D:65:9A:2F:EA:A0:C5:5A:D0:15:A3:BF:4F:1B:2B:0B:82:2C:D1:5D:6C:15:B0:F0:0A:08";

}  // namespace

class LoginTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_dir = std::make_unique<ScopedWorkingDir>();
    m_app = std::make_unique<CSignerApp>();
    m_login = std::make_unique<CLogin>();
    QObject::connect(m_login.get(), &CLogin::AccountEntered, m_app.get(), &CSignerApp::SetAccount);
  }
  void cleanup() {
    m_login.reset();
    m_app.reset();
    m_dir.reset();
  }

  void firstStartShowsDefaultsWithFocusOnUserName() {
    Open();
    QCOMPARE(Edit("user")->text(), QString());
    QCOMPARE(Edit("password")->text(), QString());
    QCOMPARE(Edit("server")->text(), QString());
    QCOMPARE(Edit("pop3Port")->text(), QStringLiteral("110"));
    QCOMPARE(Edit("smtpPort")->text(), QStringLiteral("25"));
    QVERIFY(!Auth()->isChecked());
    QTRY_COMPARE(QApplication::focusWidget(), Edit("user"));
    QVERIFY(!QFile::exists(QStringLiteral("Signer.ini")));
  }

  void storedUserNamePutsFocusInEmptyPassword() {
    WriteIni("[Login]\r\nUserName=主管\r\nServer=mail.example.com\r\n");
    m_login->m_strPass = "left over";
    Open();
    QCOMPARE(Edit("user")->text(), QStringLiteral("主管"));
    QCOMPARE(Edit("server")->text(), QStringLiteral("mail.example.com"));
    QCOMPARE(Edit("password")->text(), QString());
    QTRY_COMPARE(QApplication::focusWidget(), Edit("password"));
  }

  void storedValuesAsShown_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("pop3Port");
    QTest::addColumn<QString>("smtpPort");
    QTest::addColumn<bool>("auth");
    QTest::newRow("stored") << QByteArray("Port=995\nSMTPPort=587\nAuth=1\n") << "995" << "587"
                            << true;
    QTest::newRow("zero ports") << QByteArray("Port=0\nSMTPPort=0\n") << "110" << "25" << false;
    QTest::newRow("not numbers") << QByteArray("Port=pop\nSMTPPort=x25\n") << "110" << "25"
                                 << false;
    QTest::newRow("Auth yes") << QByteArray("Auth=yes\n") << "110" << "25" << false;
    QTest::newRow("Auth 0") << QByteArray("Auth=0\n") << "110" << "25" << false;
    QTest::newRow("Auth 11") << QByteArray("Auth=11\n") << "110" << "25" << false;
    QTest::newRow("Auth empty") << QByteArray("Auth=\n") << "110" << "25" << false;
  }
  void storedValuesAsShown() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, pop3Port);
    QFETCH(QString, smtpPort);
    QFETCH(bool, auth);
    WriteIni("[Login]\n" + ini);
    Open();
    QCOMPARE(Edit("pop3Port")->text(), pop3Port);
    QCOMPARE(Edit("smtpPort")->text(), smtpPort);
    QCOMPARE(Auth()->isChecked(), auth);
  }

  void okStoresSettingsButNeverThePassword_data() {
    QTest::addColumn<bool>("auth");
    QTest::newRow("authentication") << true;
    QTest::newRow("none") << false;
  }
  void okStoresSettingsButNeverThePassword() {
    QFETCH(bool, auth);
    WriteIni("[Other]\nKeep=me\n[Login]\nUserName=old\nAuth=1\n");
    Open();
    Edit("user")->setText(QStringLiteral("审核员"));
    Edit("password")->setText(QStringLiteral("Secret-Pass"));
    Edit("server")->setText(QStringLiteral("mail.example.com"));
    Edit("pop3Port")->setText(QStringLiteral("11110"));
    Edit("smtpPort")->setText(QStringLiteral("2525"));
    Auth()->setChecked(auth);
    QTest::mouseClick(Button("ok"), Qt::LeftButton);

    QCOMPARE(m_login->result(), int(QDialog::Accepted));
    QVERIFY(!m_login->isVisible());
    const char* ini = "./Signer.ini";
    QCOMPARE(platform::getPrivateProfileString("Login", "UserName", "", ini), "审核员");
    QCOMPARE(platform::getPrivateProfileString("Login", "Server", "", ini), "mail.example.com");
    QCOMPARE(platform::getPrivateProfileString("Login", "Port", "", ini), "11110");
    QCOMPARE(platform::getPrivateProfileString("Login", "SMTPPort", "", ini), "2525");
    QCOMPARE(platform::getPrivateProfileString("Login", "Auth", "", ini), auth ? "1" : "0");
    QCOMPARE(platform::getPrivateProfileString("Other", "Keep", "", ini), "me");
    QVERIFY(!ReadAll(QStringLiteral("Signer.ini")).contains("Secret-Pass"));
    platform::ProfileFile file;
    QVERIFY(file.load(ini));
    QCOMPARE(file.keyNames("Login"),
             (std::vector<std::string>{"UserName", "Auth", "Server", "Port", "SMTPPort"}));

    QCOMPARE(m_login->m_strUser, "审核员");
    QCOMPARE(m_login->m_strPass, "Secret-Pass");
    QCOMPARE(m_login->m_strHost, "mail.example.com");
    QCOMPARE(m_login->m_nPop3Port, 11110);
    QCOMPARE(m_login->m_nSmtpPort, 2525);
    const tagSignerAccount account = m_app->Account();
    QCOMPARE(account.m_strServer, "mail.example.com");
    QCOMPARE(account.m_strUserName, "审核员");
    QCOMPARE(account.m_strPassword, "Secret-Pass");
    QCOMPARE(account.m_nSMTPPort, 2525);
    QCOMPARE(account.m_bAuth, auth);
  }

  // The stored choice is shown; the chosen one is written and read back. A file that never named a
  // security keeps its keys as they were.
  void securityChoiceIsKeptAndReadBack_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("no key, left alone") << QByteArray("") << "无" << "无" << QByteArray();
    QTest::newRow("no key, STARTTLS") << QByteArray("") << "无" << "STARTTLS" << QByteArray("starttls");
    QTest::newRow("tls, back to none") << QByteArray("Security=tls\n") << "SSL/TLS" << "无" << QByteArray("none");
    QTest::newRow("starttls kept") << QByteArray("Security=STARTTLS\n") << "STARTTLS" << "STARTTLS"
                                   << QByteArray("starttls");
    QTest::newRow("unknown reads as STARTTLS") << QByteArray("Security=ssl3\n") << "STARTTLS" << "SSL/TLS"
                                               << QByteArray("tls");
  }
  void securityChoiceIsKeptAndReadBack() {
    QFETCH(QByteArray, stored);
    QFETCH(QString, shown);
    QFETCH(QString, chosen);
    QFETCH(QByteArray, written);
    WriteIni("[Login]\nUserName=boss\n" + stored);
    Open();
    QComboBox* security = m_login->findChild<QComboBox*>(QStringLiteral("security"));
    QVERIFY(security != nullptr);
    QCOMPARE(security->currentText(), shown);
    security->setCurrentIndex(security->findText(chosen));
    QTest::mouseClick(Button("ok"), Qt::LeftButton);
    QCOMPARE(m_login->result(), int(QDialog::Accepted));

    const QByteArray ini = ReadAll(QStringLiteral("Signer.ini"));
    if (written.isEmpty()) {
      QVERIFY(!ini.contains("Security"));
    } else {
      QCOMPARE(QByteArray::fromStdString(platform::getPrivateProfileString("Login", "Security", "", "./Signer.ini")),
               written);
    }
    m_login->OnInitDialog();
    QCOMPARE(security->currentText(), chosen);
    QCOMPARE(static_cast<int>(ReadSessionSecurity().mode), security->currentData().toInt());
  }

  // Tab visits every field once, in the order they stand on the screen, and comes round again.
  void tabFollowsTheScreen() {
    WriteIni("[Login]\nSecurity=tls\n");
    Open();
    const QList<QWidget*> expected = InScreenOrder(m_login.get());
    QVERIFY(expected.contains(Edit("caFile")) && expected.contains(Edit("pin")));
    Edit("user")->setFocus();
    QList<QWidget*> visited;
    for (qsizetype step = 0; step < expected.size(); ++step) {
      visited << QApplication::focusWidget();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, expected);
    QCOMPARE(QApplication::focusWidget(), Edit("user"));
  }

  // The CA file and the pin beside the connection's security: shown as stored, written as typed and
  // used by the sessions; what cannot be used is refused with a message and nothing stored.
  void tlsTrustFields_data() {
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("caFile");  // "<ca>" stands for a PEM file that exists
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("refusal");  // empty: accepted
    const QString pin = QString::fromLatin1(kPin);
    const QString lineBreak = QStringLiteral("输入的内容不能包含换行符。");
    const QString notAPin = QStringLiteral("证书指纹应为64位十六进制数字(SHA-256)，可用冒号分隔。");
    QTest::newRow("CA file") << "SSL/TLS" << "<ca>" << "" << "";
    QTest::newRow("pin with colons") << "STARTTLS" << "" << pin << "";
    QTest::newRow("pin in lower case without colons")
        << "SSL/TLS" << "" << pin.toLower().remove(u':') << "";
    QTest::newRow("missing CA file") << "SSL/TLS" << "no-such-ca.pem" << ""
                                     << "无法读取CA证书文件no-such-ca.pem。";
    QTest::newRow("CA file is a folder") << "SSL/TLS" << "." << "" << "无法读取CA证书文件.。";
    QTest::newRow("pin too short") << "SSL/TLS" << "" << pin.left(47) << notAPin;
    QTest::newRow("pin of SHA-1 length") << "SSL/TLS" << "" << pin.left(59) << notAPin;
    QTest::newRow("pin not hex") << "SSL/TLS" << "" << QString(64, u'G') << notAPin;
    QTest::newRow("pin too long") << "SSL/TLS" << "" << pin + QStringLiteral(":00") << notAPin;
    QTest::newRow("line feed in CA file") << "SSL/TLS" << "<ca>\n[Login]" << "" << lineBreak;
    QTest::newRow("carriage return in pin") << "SSL/TLS" << "" << pin + u'\r' + pin << lineBreak;
    // Without a secure connection the two are not used, and not checked either.
    QTest::newRow("not used without TLS") << "无" << "no-such-ca.pem" << "ABC" << "";
  }
  void tlsTrustFields() {
    QFETCH(QString, security);
    QFETCH(QString, caFile);
    QFETCH(QString, pin);
    QFETCH(QString, refusal);
    QFile ca(QStringLiteral("company-ca.pem"));
    QVERIFY(ca.open(QIODevice::WriteOnly));
    ca.write("-----BEGIN CERTIFICATE-----\n");
    ca.close();
    caFile.replace(QStringLiteral("<ca>"), QStringLiteral("company-ca.pem"));
    WriteIni("[Login]\nUserName=boss\nSecurity=tls\nTlsCAFile=old.pem\nTlsPinSHA256=\n");
    const QByteArray stored = ReadAll(QStringLiteral("Signer.ini"));
    Open();
    QCOMPARE(Edit("caFile")->text(), QStringLiteral("old.pem"));
    QCOMPARE(Edit("pin")->text(), QString());
    QComboBox* choice = m_login->findChild<QComboBox*>(QStringLiteral("security"));
    choice->setCurrentIndex(choice->findText(security));
    const bool used = security != QStringLiteral("无");
    QCOMPARE(Edit("caFile")->isEnabled(), used);
    QCOMPARE(Edit("pin")->isEnabled(), used);
    Edit("caFile")->setText(caFile);
    Edit("pin")->setText(pin);
    QTest::mouseClick(Button("ok"), Qt::LeftButton);

    if (!refusal.isEmpty()) {
      QMessageBox* message = nullptr;
      QTRY_VERIFY((message = m_login->findChild<QMessageBox*>()) != nullptr);
      QCOMPARE(message->text(), refusal);
      message->accept();
      QVERIFY(m_login->isVisible());
      QVERIFY(QApplication::focusWidget() == Edit("caFile") ||
              QApplication::focusWidget() == Edit("pin"));
      QCOMPARE(ReadAll(QStringLiteral("Signer.ini")), stored);
      QCOMPARE(m_app->Account().m_strUserName, "");
      return;
    }
    QCOMPARE(m_login->result(), int(QDialog::Accepted));
    const postwell::TlsSettings tls = ReadSessionSecurity();
    QCOMPARE(QString::fromStdString(tls.caFile), caFile);
    QCOMPARE(QString::fromStdString(tls.pinnedSha256), pin);
    QCOMPARE(static_cast<int>(tls.mode), choice->currentData().toInt());
    m_login->OnInitDialog();
    QCOMPARE(Edit("caFile")->text(), caFile);
    QCOMPARE(Edit("pin")->text(), pin);
  }

  // A file that never named a CA file or a pin gets neither key.
  void unusedTrustKeysAreNotWritten() {
    WriteIni("[Login]\nUserName=boss\nSecurity=starttls\n");
    Open();
    QTest::mouseClick(Button("ok"), Qt::LeftButton);
    QCOMPARE(m_login->result(), int(QDialog::Accepted));
    const QByteArray ini = ReadAll(QStringLiteral("Signer.ini"));
    QVERIFY(!ini.contains("TlsCAFile") && !ini.contains("TlsPinSHA256"));
  }

  void cancelChangesNothing() {
    const QByteArray stored = "[Login]\r\nUserName=boss\r\nPort=0\r\n";
    WriteIni(stored);
    Open();
    Edit("user")->setText(QStringLiteral("someone else"));
    Edit("password")->setText(QStringLiteral("pw"));
    Edit("pop3Port")->setText(QStringLiteral("1"));
    QTest::mouseClick(Button("cancel"), Qt::LeftButton);

    QCOMPARE(m_login->result(), int(QDialog::Rejected));
    QCOMPARE(ReadAll(QStringLiteral("Signer.ini")), stored);
    QCOMPARE(m_login->m_strUser, "");
    QCOMPARE(m_login->m_strPass, "");
    QCOMPARE(m_app->Account().m_strUserName, "");
    QCOMPARE(m_app->Account().m_strPassword, "");
  }

  // Nothing is stored until both ports are numbers of a port.
  void portThatIsNotANumberKeepsTheDialogOpen_data() {
    QTest::addColumn<QString>("port");
    QTest::newRow("empty") << QString();
    QTest::newRow("letters") << QStringLiteral("smtp");
    QTest::newRow("beyond 65535") << QStringLiteral("65561");
  }
  void portThatIsNotANumberKeepsTheDialogOpen() {
    QFETCH(QString, port);
    Open();
    Edit("user")->setText(QStringLiteral("boss"));
    Edit("smtpPort")->setText(port);
    QTest::mouseClick(Button("ok"), Qt::LeftButton);

    QMessageBox* message = nullptr;
    QTRY_VERIFY((message = m_login->findChild<QMessageBox*>()) != nullptr);
    QCOMPARE(message->text(), QStringLiteral("请输入一个整数。"));
    message->accept();
    QVERIFY(m_login->isVisible());
    QCOMPARE(QApplication::focusWidget(), Edit("smtpPort"));
    QVERIFY(!QFile::exists(QStringLiteral("Signer.ini")));
    QCOMPARE(m_app->Account().m_strUserName, "");
  }

 private:
  void Open() {
    m_login->OnInitDialog();
    m_login->show();
    QVERIFY(QTest::qWaitForWindowActive(m_login.get()));
  }
  QLineEdit* Edit(const char* name) const {
    return m_login->findChild<QLineEdit*>(QString::fromLatin1(name));
  }
  QCheckBox* Auth() const { return m_login->findChild<QCheckBox*>(QStringLiteral("auth")); }
  QPushButton* Button(const char* name) const {
    return m_login->findChild<QPushButton*>(QString::fromLatin1(name));
  }

  std::unique_ptr<ScopedWorkingDir> m_dir;
  std::unique_ptr<CSignerApp> m_app;
  std::unique_ptr<CLogin> m_login;
};

QTEST_MAIN(LoginTest)
#include "login_test.moc"
