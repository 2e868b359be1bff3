#pragma once

#include <QIcon>

// The images of the rows: a task waiting for a decision, a task in the send queue.
QIcon TaskRowImage();
QIcon QueueRowImage();
