#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// Tells the desktop that held mail arrived: a notice through the freedesktop notification service
// on the session bus. Sent without waiting for an answer; nothing happens where no such service runs.
class CHeldMailNotice : public QObject {
 public:
  explicit CHeldMailNotice(QDBusConnection bus = QDBusConnection::sessionBus(),
                           QObject* parent = nullptr);

  // count new tasks arrived; pending wait in all.
  void Show(int count, int pending);

 private:
  QDBusConnection m_bus;
  // The last notice, replaced by the next one instead of piling up.
  unsigned int m_nLastId = 0;
};
