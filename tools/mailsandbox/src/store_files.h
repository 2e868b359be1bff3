#pragma once
// File operations of the mailbox store, on top of the platform layer.

#include <string>
#include <string_view>
#include <vector>

namespace mailsandbox {

// Names of the folders in a directory, sorted; none when it is missing.
std::vector<std::string> subdirectoryNames(const std::string& directory);
// Names of the files in a directory whose names end with the extension (case ignored), sorted.
std::vector<std::string> fileNamesEndingWith(const std::string& directory, std::string_view extension);
// True when the directory exists afterwards.
bool ensureDirectory(const std::string& path);
// Writes the bytes to "<path>.tmp" and renames that over the path, so that readers see either the
// whole file or none. With replace false an existing file is left alone and the result is false.
bool writeFileWhole(const std::string& path, std::string_view bytes, bool replace);

}  // namespace mailsandbox
