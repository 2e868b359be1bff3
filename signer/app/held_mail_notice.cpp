#include "app/held_mail_notice.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "app/resource.h"
#include "store/ui_text.h"

CHeldMailNotice::CHeldMailNotice(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

void CHeldMailNotice::Show(int count, int pending) {
  if (count <= 0 || !m_bus.isConnected()) return;
  QDBusMessage notify = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  const QString summary = Tr(QT_TRANSLATE_NOOP("Signer", "%1 封新邮件待审")).arg(count);
  const QString body = Tr(QT_TRANSLATE_NOOP("Signer", "共 %1 个任务等待签审")).arg(pending);
  notify << res::LoadString(res::IDS_MAIN_TITLE) << m_nLastId
         << QStringLiteral("mail-unread") << summary << body << QStringList() << QVariantMap()
         << -1;
  auto* answer = new QDBusPendingCallWatcher(m_bus.asyncCall(notify), this);
  connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer] {
    const QDBusPendingReply<unsigned int> reply = *answer;
    if (reply.isValid()) m_nLastId = reply.value();
    answer->deleteLater();
  });
}
