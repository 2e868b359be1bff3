#pragma once
// Paths of this system are UTF-8 text. These give them to the standard library and the C library
// so that the system gets the name itself: on Windows through its wide-character calls, never
// through the code page; elsewhere the bytes as they are.

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/export.h"

namespace platform {

// The path for std::filesystem and the file streams. A name that is not UTF-8 gives an empty path
// (last error 1113) on Windows, which every call then refuses.
PLATFORM_API std::filesystem::path nativePath(const std::string& path);
// A path from std::filesystem back as this system's text.
PLATFORM_API std::string pathText(const std::filesystem::path& path);
// std::fopen with this system's path. Null on failure (on Windows, last error 1113 and errno
// EILSEQ for a name that is not UTF-8).
PLATFORM_API std::FILE* openFile(const std::string& path, const char* mode);
// std::remove with this system's path; leaves the last error as it was. True when removed.
PLATFORM_API bool removeFile(const std::string& path);

}  // namespace platform
