#pragma once
// The built-in viewer's size as the user left it: section [Viewer] of Signer.ini, keys Width and
// Height in pixels, without the window manager's frame.

#include <QSize>

// An empty size when none is stored or the stored one is not a size.
QSize ReadViewerSize();
// Failures to write are not reported: the size is then simply not kept.
void WriteViewerSize(const QSize& size);
