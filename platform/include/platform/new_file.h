#pragma once
// Creating a file that must not exist yet, for writers that never overwrite.

#include <cstdio>
#include <string>

#include "platform/export.h"

namespace platform {

// Creates the file and opens it for writing in binary mode. Null when it exists (last error
// err::kFileExists) or cannot be created (last error set). Close it with fclose.
PLATFORM_API std::FILE* createNewFile(const std::string& path);

}  // namespace platform
