#include "store_files.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/whole_file.h"
#include "text.h"

namespace mailsandbox {

namespace {

std::vector<std::string> entryNames(const std::string& directory, bool directories) {
  std::vector<std::string> names;
  for (platform::DirEntry& entry : platform::findFiles(directory + "/*"))
    if (entry.isDirectory == directories && entry.name != "." && entry.name != "..")
      names.push_back(std::move(entry.name));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> subdirectoryNames(const std::string& directory) {
  return entryNames(directory, true);
}

std::vector<std::string> fileNamesEndingWith(const std::string& directory, std::string_view extension) {
  std::vector<std::string> names = entryNames(directory, false);
  std::erase_if(names, [&](const std::string& name) {
    return name.size() <= extension.size() ||
           !equalsIgnoringCase(std::string_view(name).substr(name.size() - extension.size()), extension);
  });
  return names;
}

bool ensureDirectory(const std::string& path) {
  return platform::createDirectory(path) || platform::isDirectory(path);
}

bool writeFileWhole(const std::string& path, std::string_view bytes, bool replace) {
  if (!replace && platform::fileExists(path)) return false;
  return platform::replaceWholeFile(path, bytes);
}

}  // namespace mailsandbox
