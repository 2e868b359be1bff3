#pragma once

#include <QIcon>

namespace vetrule {

// The icon of vetrule's windows: a white tick on a blue tile.
QIcon applicationIcon();

}  // namespace vetrule
