#include "app/frame_placement.h"

QRect MainFramePlacement(const QRect& screen) {
  return QRect(screen.x(), screen.y() + screen.height() - 328, screen.width(), 300);
}

QRect ReaderPlacement(const QRect& screen, int mainFrameTop) {
  return QRect(screen.x(), screen.y(), screen.width(), mainFrameTop - screen.y());
}
