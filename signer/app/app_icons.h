#pragma once

#include <QIcon>

// The program's icon: an envelope with a tick.
QIcon SignerIcon();
// The toolbar image of a command; null when the command has none.
QIcon CommandIcon(int command);
