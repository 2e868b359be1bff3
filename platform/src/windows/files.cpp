#include "platform/files.h"

#include <windows.h>

#include "last_error_guard.h"
#include "platform/last_error.h"
#include "wide_text.h"

namespace platform {

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t lastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

DWORD attributesOf(const std::string& path) {
  std::wstring wide;
  return toWide(path, wide) ? ::GetFileAttributesW(wide.c_str()) : INVALID_FILE_ATTRIBUTES;
}

// A module's path, or nothing when the system cannot give it.
std::optional<std::string> modulePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::nullopt;
    if (n < path.size()) {
      path.resize(n);
      return toUtf8(path);
    }
    if (path.size() >= 32768) return std::nullopt;
    path.resize(path.size() * 2);
  }
}

HMODULE loadWithItsFolder(const std::string& path) {
  std::wstring wide;
  if (!toWide(path, wide)) return nullptr;
  return ::LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

bool isDirectory(const std::string& path) {
  const LastErrorGuard guard;
  const DWORD attributes = attributesOf(path);
  return guard.succeeded(attributes != INVALID_FILE_ATTRIBUTES &&
                         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

bool fileExists(const std::string& path) {
  const LastErrorGuard guard;
  return guard.succeeded(attributesOf(path) != INVALID_FILE_ATTRIBUTES);
}

std::vector<DirEntry> findFiles(const std::string& pattern) {
  const LastErrorGuard guard;
  std::vector<DirEntry> found;
  const std::size_t sep = lastSeparator(pattern);
  if (pattern.empty() || sep == pattern.size() - 1) {
    setLastError(err::kFileNotFound);
    return found;
  }
  std::wstring wide;
  if (!toWide(pattern, wide)) return found;
  WIN32_FIND_DATAW data{};
  HANDLE search = ::FindFirstFileW(wide.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    found.push_back(
        {toUtf8(data.cFileName), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileW(search, &data));
  ::FindClose(search);
  return guard.succeeded(std::move(found));
}

bool createDirectory(const std::string& path) {
  const LastErrorGuard guard;
  std::wstring wide;
  return toWide(path, wide) && ::CreateDirectoryW(wide.c_str(), nullptr) != 0 &&
         guard.succeeded(true);
}

bool deleteFile(const std::string& path) {
  const LastErrorGuard guard;
  std::wstring wide;
  return toWide(path, wide) && ::DeleteFileW(wide.c_str()) != 0 && guard.succeeded(true);
}

// Replaces an existing target, as a rename does on every other system.
bool moveFile(const std::string& from, const std::string& to) {
  const LastErrorGuard guard;
  std::wstring wideFrom;
  std::wstring wideTo;
  return toWide(from, wideFrom) && toWide(to, wideTo) &&
         ::MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING) != 0 &&
         guard.succeeded(true);
}

std::string executablePath() {
  const LastErrorGuard guard;
  std::optional<std::string> path = modulePath(nullptr);
  if (!path) return std::string();
  return guard.succeeded(std::move(*path));
}

std::string sharedObjectName(const std::string& pluginName) {
  std::string base = pluginName;
  const std::size_t sep = lastSeparator(base);
  if (sep != std::string::npos) base = base.substr(sep + 1);
  if (base.size() > 4) {
    std::string ext = base.substr(base.size() - 4);
    for (char& c : ext) c = lowerAscii(c);
    if (ext == ".dll") return base;
  }
  return base + ".dll";
}

std::optional<std::string> loadedModulePath(const std::string& moduleName) {
  const LastErrorGuard guard;
  std::wstring name;
  HMODULE module = toWide(sharedObjectName(moduleName), name) ? ::GetModuleHandleW(name.c_str())
                                                                : nullptr;
  if (module == nullptr) return guard.succeeded(std::optional<std::string>());
  return guard.succeeded(modulePath(module));
}

std::string pluginDirectory() { return executableDirectory(); }

void* loadLibrary(const std::string& pluginName) {
  const LastErrorGuard guard;
  // A name with a folder is loaded from there when the file exists; the DLLs it needs are then
  // looked for beside it first.
  if (lastSeparator(pluginName) != std::string::npos && fileExists(pluginName))
    if (HMODULE module = loadWithItsFolder(pluginName))
      return guard.succeeded(reinterpret_cast<void*>(module));
  const std::string file = sharedObjectName(pluginName);
  const std::string beside = executableDirectory() + "\\" + file;
  HMODULE module = fileExists(beside) ? loadWithItsFolder(beside) : nullptr;
  std::wstring wideFile;
  if (module == nullptr && toWide(file, wideFile)) module = ::LoadLibraryW(wideFile.c_str());
  if (module == nullptr) return nullptr;
  return guard.succeeded(reinterpret_cast<void*>(module));
}

void* loadLibraryFile(const std::string& path) {
  return reinterpret_cast<void*>(loadWithItsFolder(path));
}

void* librarySymbol(void* library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(void* library) {
  if (library) ::FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace platform
