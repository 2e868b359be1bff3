#pragma once
// File times and attributes beyond what the file search reports.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/export.h"

namespace platform {

// Seconds since 1970 at which the file was created, where the file system records it; otherwise the
// time its status last changed. Nothing (last error set) when the file cannot be examined.
PLATFORM_API std::optional<long long> fileCreationTime(const std::string& path);

// The size in bytes of a regular file. Nothing (last error set) when the path names no file or a
// folder.
PLATFORM_API std::optional<std::uint64_t> regularFileSize(const std::string& path);

// Marks a folder as one whose "Desktop.ini" the file manager reads (on Windows the system
// attribute). Where no such attribute exists this only checks that the folder is there. False with
// the last error set when it is not.
PLATFORM_API bool markFolderCustomized(const std::string& path);

}  // namespace platform
