#include "reader/window_placement.h"

QRect MainFramePlacement(const QRect& screen) {
  return QRect(screen.x(), screen.y() + screen.height() - 328, screen.width(), 300);
}

QRect ReaderPlacement(const QRect& screen, int mainFrameTop) {
  return QRect(screen.x(), screen.y(), screen.width(), mainFrameTop - screen.y());
}

QRect ViewerPlacement(const QRect& screen, int mainFrameTop, const QSize& remembered) {
  const QSize smallest(400, 300);
  const QRect space = ReaderPlacement(screen, mainFrameTop);
  if (space.width() < smallest.width() || space.height() < smallest.height()) return {};
  if (remembered.isEmpty()) return space;
  const QSize size = remembered.expandedTo(smallest).boundedTo(space.size());
  return QRect(space.x() + (space.width() - size.width()) / 2, space.bottom() + 1 - size.height(),
               size.width(), size.height());
}
