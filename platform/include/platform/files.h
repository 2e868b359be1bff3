#pragma once
// Files and directories, with the Windows first-match search ("*" and "?" in the last component).

#include <optional>
#include <string>
#include <vector>

#include "platform/export.h"

namespace platform {

struct DirEntry {
  std::string name;
  bool isDirectory = false;
};

// Every entry matching the pattern, in the order the file system returns them; "." and ".." are
// included when the pattern matches them, as on Windows. A pattern without wildcards names one
// file or directory.
PLATFORM_API std::vector<DirEntry> findFiles(const std::string& pattern);
// True when anything matches the pattern.
PLATFORM_API bool findFirstMatch(const std::string& pattern, DirEntry* first = nullptr);
// Case-insensitive Windows wildcard match of one name; "*.*" matches every name.
PLATFORM_API bool wildcardMatch(const std::string& pattern, const std::string& name);

// True when created; false (last error set: 183 when it exists) otherwise.
PLATFORM_API bool createDirectory(const std::string& path);
PLATFORM_API bool deleteFile(const std::string& path);
PLATFORM_API bool moveFile(const std::string& from, const std::string& to);
PLATFORM_API bool isDirectory(const std::string& path);
PLATFORM_API bool fileExists(const std::string& path);

// Full path of the running executable, and its directory without a trailing separator.
PLATFORM_API std::string executablePath();
PLATFORM_API std::string executableDirectory();
// Full path of a loaded module given its Windows-style name ("Groundkit.dll" finds libGroundkit.so).
PLATFORM_API std::optional<std::string> loadedModulePath(const std::string& moduleName);

// The shared-object file name for a plug-in name: "X.dll" and "X" give "libX.so".
PLATFORM_API std::string sharedObjectName(const std::string& pluginName);

// The folder of the installed plug-ins: "mailsignoff" in the folder of the platform library
// itself (/usr/lib/<triplet>/mailsignoff when installed as a package); empty when unknown. On
// Windows the plug-ins lie beside the programs and this is the executable's folder.
PLATFORM_API std::string pluginDirectory();

// Loads a plug-in: a path with a folder as given when that file exists, else the plug-in name
// beside the executable first (the build tree), then in pluginDirectory() (an installed
// system), then where the system looks. Null on failure.
PLATFORM_API void* loadLibrary(const std::string& pluginName);
// Loads the shared object at exactly this path. Null on failure.
PLATFORM_API void* loadLibraryFile(const std::string& path);
PLATFORM_API void* librarySymbol(void* library, const char* name);
PLATFORM_API void freeLibrary(void* library);

}  // namespace platform
