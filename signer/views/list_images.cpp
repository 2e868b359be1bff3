#include "views/list_images.h"

#include <QApplication>
#include <QStyle>

QIcon TaskRowImage() { return QApplication::style()->standardIcon(QStyle::SP_FileIcon); }

QIcon QueueRowImage() { return QApplication::style()->standardIcon(QStyle::SP_ArrowForward); }
