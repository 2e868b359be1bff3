#include "app/app_icons.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include "app/resource.h"

namespace {

// The same drawing as the installed icon (packaging/icons/mailsignoff-signer.svg).
QIcon PaintedSignerIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0x1f, 0x4e, 0x8c), 2));
  painter.setBrush(QColor(0xf4, 0xf7, 0xfb));
  painter.drawRect(QRectF(2, 7, 28, 19));
  painter.drawPolyline(QPolygonF({QPointF(2, 7), QPointF(16, 18), QPointF(30, 7)}));
  painter.setPen(QPen(QColor(0x2e, 0x9e, 0x3f), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPolyline(QPolygonF({QPointF(15, 24), QPointF(21, 29), QPointF(30, 16)}));
  return QIcon(pixmap);
}

}  // namespace

QIcon SignerIcon() {
  // The installed icon of the hicolor theme (the desktop entry's), else the drawn one (build tree).
  return QIcon::fromTheme(QStringLiteral("mailsignoff-signer"), PaintedSignerIcon());
}

QIcon CommandIcon(int command) {
  QStyle::StandardPixmap image;
  switch (command) {
    case res::ID_TASK_READ: image = QStyle::SP_FileDialogContentsView; break;
    case res::ID_TASK_APPROVE: image = QStyle::SP_DialogApplyButton; break;
    case res::ID_TASK_RETURN: image = QStyle::SP_ArrowBack; break;
    case res::ID_TASK_PREV: image = QStyle::SP_ArrowUp; break;
    case res::ID_TASK_NEXT: image = QStyle::SP_ArrowDown; break;
    case res::ID_REFRESH: image = QStyle::SP_BrowserReload; break;
    case res::ID_APP_EXIT: image = QStyle::SP_DialogCloseButton; break;
    case res::ID_APP_ABOUT: image = QStyle::SP_MessageBoxInformation; break;
    default: return QIcon();
  }
  return QApplication::style()->standardIcon(image);
}
