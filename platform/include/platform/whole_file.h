#pragma once
// Reading a whole file at once.

#include <string>

#include "platform/export.h"

namespace platform {

// Reads the whole file into contents. False when it cannot be opened or read, with the last error
// set as Windows numbers it: 2 not found, 3 path not found, 5 access denied (also for a directory).
PLATFORM_API bool readWholeFile(const std::string& path, std::string& contents);

}  // namespace platform
