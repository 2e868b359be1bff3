// The desktop notice of held mail, sent to a notification service on a private session bus.
#include "app/held_mail_notice.h"

#include <QDBusConnection>
#include <QProcess>
#include <QtTest>

namespace {

// The freedesktop notification service, as far as the notice uses it.
class FakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  QStringList m_calls;
 public slots:
  uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& hints,
              int timeout) {
    m_calls << QStringLiteral("%1|%2|%3|%4|%5|%6").arg(app).arg(replaces).arg(icon, summary, body).arg(timeout);
    return 42;
  }
};

}  // namespace

class HeldMailNoticeTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address")});
    if (!m_bus.waitForStarted(5000)) {
      if (qEnvironmentVariableIsSet("CI")) QFAIL("dbus-daemon cannot be started");
      QSKIP("dbus-daemon is not installed");
    }
    QVERIFY(m_bus.waitForReadyRead(5000));
    m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());
  }

  void cleanupTestCase() {
    m_bus.kill();
    m_bus.waitForFinished();
  }

  void noticeNamesTheNewAndThePendingAndReplacesTheLastOne() {
    QDBusConnection service = QDBusConnection::connectToBus(m_address, QStringLiteral("service"));
    QVERIFY(service.isConnected());
    FakeNotifications notifications;
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

    CHeldMailNotice notice(QDBusConnection::connectToBus(m_address, QStringLiteral("client")));
    notice.Show(0, 4);  // nothing new: no notice
    notice.Show(3, 5);
    QTRY_COMPARE(notifications.m_calls.size(), 1);
    QCOMPARE(notifications.m_calls[0],
             QStringLiteral("主管签审|0|mail-unread|3 封新邮件待审|共 5 个任务等待签审|-1"));
    QTest::qWait(100);  // the service's answer names the notice to replace next time
    notice.Show(1, 6);
    QTRY_COMPARE(notifications.m_calls.size(), 2);
    QVERIFY(notifications.m_calls[1].startsWith(QStringLiteral("主管签审|42|")));
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
  }

  // Without a notification service on the bus, or without a bus, nothing happens and nothing waits.
  void withoutAServiceNothingHappens() {
    CHeldMailNotice notice(QDBusConnection::connectToBus(m_address, QStringLiteral("lonely")));
    notice.Show(2, 2);
    CHeldMailNotice noBus(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"),
                                                        QStringLiteral("none")));
    noBus.Show(2, 2);
    QTest::qWait(100);
  }

 private:
  QProcess m_bus;
  QString m_address;
};

QTEST_MAIN(HeldMailNoticeTest)
#include "held_mail_notice_test.moc"
