#include "store/list_time.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

std::int64_t FileTimeOrNow(const std::string& path) {
  const QDateTime written =
      QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).lastModified();
  return written.isValid() ? written.toSecsSinceEpoch() : TimeNow();
}

std::int64_t TimeNow() { return QDateTime::currentSecsSinceEpoch(); }

std::string ListTime(std::int64_t secondsSinceEpoch) {
  return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch)
      .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
      .toStdString();
}

std::string ListTimeNow() { return ListTime(TimeNow()); }
