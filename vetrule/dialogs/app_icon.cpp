#include "dialogs/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>

namespace vetrule {

namespace {

// The same drawing as the installed icon (packaging/icons/mailsignoff-vetrule.svg).
QIcon paintedIcon() {
  QPixmap tile(64, 64);
  tile.fill(Qt::transparent);
  QPainter painter(&tile);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
  QPainterPath tick;
  tick.moveTo(16, 33);
  tick.lineTo(28, 45);
  tick.lineTo(49, 19);
  painter.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(tick);
  painter.end();
  return QIcon(tile);
}

}  // namespace

QIcon applicationIcon() {
  // The installed icon of the hicolor theme (the desktop entry's), else the drawn one (build tree).
  return QIcon::fromTheme(QStringLiteral("mailsignoff-vetrule"), paintedIcon());
}

}  // namespace vetrule
