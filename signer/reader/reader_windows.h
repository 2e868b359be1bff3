#pragma once

#include <QString>
#include <QWindow>
#include <vector>

// The top-level windows of the process whose title equals the text, ignoring case. Empty where the
// window system does not say which process a window belongs to (only X11 does).
std::vector<WId> FindProcessWindows(long pid, const QString& title);
