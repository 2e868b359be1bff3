#pragma once

#include <QRect>

// The main window: a full-width strip 300 pixels high whose top edge is 328 pixels above the bottom
// of the screen.
QRect MainFramePlacement(const QRect& screen);
// The mail reader: from the top of the screen down to the main window's top edge, full width.
QRect ReaderPlacement(const QRect& screen, int mainFrameTop);
