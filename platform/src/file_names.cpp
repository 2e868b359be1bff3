// The parts of file handling that are the same on every system: Windows wildcard matching and
// taking paths apart at either separator.
#include "platform/files.h"

namespace platform {

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t lastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

bool matchFrom(const char* p, const char* n) {
  // Iterative glob with one backtrack point, so long names never recurse deeply.
  const char* starP = nullptr;
  const char* starN = nullptr;
  while (*n) {
    if (*p == '*') {
      starP = ++p;
      starN = n;
    } else if (*p == '?' || (*p && lowerAscii(*p) == lowerAscii(*n))) {
      ++p;
      ++n;
    } else if (starP) {
      p = starP;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

}  // namespace

bool wildcardMatch(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*" || pattern == "*") return true;
  // Windows lets "x.*" match "x" as well as "x.txt".
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
      name.find('.') == std::string::npos &&
      matchFrom(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str()))
    return true;
  return matchFrom(pattern.c_str(), name.c_str());
}

bool findFirstMatch(const std::string& pattern, DirEntry* first) {
  std::vector<DirEntry> all = findFiles(pattern);
  if (all.empty()) return false;
  if (first) *first = all.front();
  return true;
}

std::string executableDirectory() {
  std::string path = executablePath();
  std::size_t sep = lastSeparator(path);
  if (sep == std::string::npos) return std::string();
  return path.substr(0, sep == 0 ? 1 : sep);
}

}  // namespace platform
