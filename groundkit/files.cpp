// Paths, directories, files, INI section names and string arrays.

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "groundkit/groundkit.h"
#include "internal/bounded_copy.h"
#include "platform/file_attributes.h"
#include "platform/files.h"
#include "platform/native_path.h"

namespace {

using groundkit::boundedCopy;

std::string_view viewOf(const char* text) { return text ? std::string_view(text) : std::string_view(); }

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Where the file name begins: just after the last separator of either kind.
std::size_t fileNameStart(std::string_view path) {
  std::size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? 0 : separator + 1;
}

// The root "/" keeps its separator.
std::string_view withoutTrailingSeparators(std::string_view path) {
  while (path.size() > 1 && isSeparator(path.back())) path.remove_suffix(1);
  return path;
}

std::string directoryOf(std::string_view path) {
  return std::string(withoutTrailingSeparators(path.substr(0, fileNameStart(path))));
}

// A directory path as this system creates it: "/" separators, no trailing one.
std::string normalizedDirectory(std::string_view path) {
  std::string directory(withoutTrailingSeparators(path));
  std::replace(directory.begin(), directory.end(), '\\', '/');
  return directory;
}

std::string applicationDirectory(std::string_view moduleName) {
  if (!moduleName.empty()) {
    if (auto module = platform::loadedModulePath(std::string(moduleName))) return directoryOf(*module);
  }
  return platform::executableDirectory();
}

// The name between the brackets of a section line such as "[Login]".
bool sectionName(std::string_view line, std::string& name) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  name.assign(line.substr(1, line.size() - 2));
  return true;
}

}  // namespace

extern "C" {

void BSCF_GetFilePath(const char* fullPath, char* directory) {
  boundedCopy(directory, directoryOf(viewOf(fullPath)));
}

int BSCF_GetFileName(const char* fullPath, char* fileName) {
  std::string_view path = viewOf(fullPath);
  std::string_view name = path.substr(fileNameStart(path));
  boundedCopy(fileName, name);
  return static_cast<int>(std::min(name.size(), groundkit::kBoundedCopyMax));
}

void BSCF_SetFileExt(char* path, const char* extension) {
  if (path == nullptr || *path == '\0') return;
  std::string_view current(path);
  // Only a dot in the file name starts an extension; one in a directory name does not.
  std::size_t dot = current.rfind('.');
  std::size_t end = dot != std::string_view::npos && dot >= fileNameStart(current) ? dot : current.size();
  std::string_view newExtension = viewOf(extension);
  path[end] = '.';
  char* last = std::copy(newExtension.begin(), newExtension.end(), path + end + 1);
  *last = '\0';
}

int BSCF_MakeDeepDirectory(const char* path) {
  std::string directory = normalizedDirectory(viewOf(path));
  if (directory.empty()) return -1;
  // Levels that exist already, or the root, fail harmlessly.
  for (std::size_t separator = directory.find('/', 1); separator != std::string::npos;
       separator = directory.find('/', separator + 1))
    platform::createDirectory(directory.substr(0, separator));
  return platform::createDirectory(directory) ? 0 : -1;
}

int BSCF_IsLegalDirectoryName(const char* path) {
  std::string directory = normalizedDirectory(viewOf(path));
  if (directory.empty()) return 0;
  if (platform::findFirstMatch(directory)) return 1;
  BSCF_MakeDeepDirectory(directory.c_str());
  // Whoever created it, the directory is usable when it is there now.
  return platform::isDirectory(directory) ? 1 : 0;
}

int BSCF_IsFileExisted(const char* path) {
  return path != nullptr && *path != '\0' && platform::findFirstMatch(path) ? 1 : 0;
}

int BSCF_SafeDeleteFile(const char* path) {
  if (!BSCF_IsFileExisted(path)) return 0;
  return platform::deleteFile(path) ? 1 : 0;
}

void BSCF_GetApplicationPath(const char* moduleName, char* directory) {
  boundedCopy(directory, applicationDirectory(viewOf(moduleName)));
}

int BSCF_GetIniSecNameList(const char* iniPath, std::vector<std::string>& array) {
  std::ifstream file;
  if (iniPath != nullptr) file.open(platform::nativePath(iniPath), std::ios::binary);
  std::string name;
  for (std::string line; file && std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (sectionName(line, name)) array.push_back(name);
  }
  return static_cast<int>(array.size());
}

void BSCF_InsertStringToArrayByOrder(std::vector<std::string>& array, const char* text, int sorted) {
  if (text == nullptr) return;
  std::string_view value(text);
  auto position = array.end();
  // Behind the last element that is not greater, so equal ones stay in front.
  if (sorted) {
    while (position != array.begin() && std::string_view(*std::prev(position)) > value) --position;
  }
  array.emplace(position, value);
}

}  // extern "C"

// ---- Names and file times --------------------------------------------------------------------

extern "C" {

// Kept for hosts that call it; names are taken as they are.
void BSCF_RemoveIllegalChar(char*) {}

long long BSCF_GetFileCreateTime(const char* path) {
  if (path == nullptr || *path == '\0') return 0;
  return platform::fileCreationTime(path).value_or(0);
}

}  // extern "C"
