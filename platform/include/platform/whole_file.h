#pragma once
// Reading a whole file at once.

#include <string>
#include <string_view>

#include "platform/export.h"

namespace platform {

// Reads the whole file into contents. False when it cannot be opened or read, with the last error
// set as Windows numbers it: 2 not found, 3 path not found, 5 access denied (also for a directory).
PLATFORM_API bool readWholeFile(const std::string& path, std::string& contents);

// Replaces the file with the text: writes a new file beside it, flushes it to disk and renames it
// over the old one, so the file holds either all the old or all the new contents at every moment.
// Keeps the old file's permissions. False with the last error set on failure (3 when the directory
// does not exist); the old file is then untouched.
PLATFORM_API bool replaceWholeFile(const std::string& path, std::string_view text);

}  // namespace platform
