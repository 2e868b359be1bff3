#pragma once
// Appending to files that several threads or processes write at once, such as daily logs.

#include <string>
#include <string_view>

#include "platform/export.h"

namespace platform {

// Appends the bytes to the file, creating it when missing. The bytes go out in one write on a
// descriptor opened for appending, so texts appended concurrently never mix. False (last error
// set) when the file cannot be opened or written. A durable append is on the disk when it returns.
PLATFORM_API bool appendToFile(const std::string& path, std::string_view bytes, bool durable = false);

}  // namespace platform
