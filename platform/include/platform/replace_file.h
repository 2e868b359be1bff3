#pragma once
// Replacing a file's contents so that a crash never leaves it half-written.

#include <string>
#include <string_view>

#include "platform/export.h"

namespace platform {

// Writes the bytes to a new file beside the path, flushes it to the disk and renames it over the
// path: the path holds either what it held before or all of the bytes. False (last error set) when
// it cannot be done; the path is then unchanged.
PLATFORM_API bool replaceFileContents(const std::string& path, std::string_view bytes);

}  // namespace platform
