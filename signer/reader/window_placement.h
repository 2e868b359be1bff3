#pragma once

#include <QRect>

// The main window: a full-width strip 300 pixels high whose top edge is 328 pixels above the bottom
// of the screen.
QRect MainFramePlacement(const QRect& screen);
// The mail reader: from the top of the screen down to the main window's top edge, full width.
QRect ReaderPlacement(const QRect& screen, int mainFrameTop);
// The built-in viewer's frame: the remembered size (the whole space when there is none), within the
// space above the main window, standing on its top edge and centred. Invalid when that space is too low
// for a viewer: the viewer then keeps a place of its own.
QRect ViewerPlacement(const QRect& screen, int mainFrameTop, const QSize& remembered);
