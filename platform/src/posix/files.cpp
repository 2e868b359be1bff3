#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/last_error.h"

namespace platform {

namespace {

void setFileErrorFromErrno() { setLastError(fileErrorFromErrno(errno)); }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool hasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

std::size_t lastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

}  // namespace

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::vector<DirEntry> findFiles(const std::string& pattern) {
  std::vector<DirEntry> found;
  std::size_t sep = lastSeparator(pattern);
  std::string dir = sep == std::string::npos ? std::string(".")
                    : sep == 0                ? std::string("/")
                                              : pattern.substr(0, sep);
  std::string namePattern = sep == std::string::npos ? pattern : pattern.substr(sep + 1);
  if (namePattern.empty()) {
    setLastError(err::kFileNotFound);
    return found;
  }
  if (!hasWildcard(namePattern)) {
    struct stat st {};
    if (::stat(pattern.c_str(), &st) != 0) {
      setFileErrorFromErrno();
      return found;
    }
    found.push_back({namePattern, S_ISDIR(st.st_mode)});
    return found;
  }
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) {
    setFileErrorFromErrno();
    return found;
  }
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (!wildcardMatch(namePattern, name)) continue;
    bool directory = false;
    if (e->d_type == DT_DIR) {
      directory = true;
    } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      directory = isDirectory(dir + "/" + name);
    }
    found.push_back({std::move(name), directory});
  }
  ::closedir(d);
  if (found.empty()) setLastError(err::kFileNotFound);
  return found;
}

bool createDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) {
    setFileErrorFromErrno();
    return false;
  }
  return true;
}

bool deleteFile(const std::string& path) {
  if (isDirectory(path)) {
    setLastError(err::kAccessDenied);
    return false;
  }
  if (::unlink(path.c_str()) != 0) {
    setFileErrorFromErrno();
    return false;
  }
  return true;
}

bool moveFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    setFileErrorFromErrno();
    return false;
  }
  return true;
}

std::string executablePath() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string sharedObjectName(const std::string& pluginName) {
  std::string base = pluginName;
  std::size_t sep = lastSeparator(base);
  if (sep != std::string::npos) base = base.substr(sep + 1);
  if (base.size() > 4) {
    std::string ext = base.substr(base.size() - 4);
    for (char& c : ext) c = lowerAscii(c);
    if (ext == ".dll") base.resize(base.size() - 4);
  }
  if (base.size() > 3 && base.compare(base.size() - 3, 3, ".so") == 0) return base;
  std::string file = "lib";
  file.append(base).append(".so");
  return file;
}

std::optional<std::string> loadedModulePath(const std::string& moduleName) {
  struct Search {
    std::string wanted;
    std::optional<std::string> found;
  } search{sharedObjectName(moduleName), std::nullopt};
  ::dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) -> int {
        auto* s = static_cast<Search*>(data);
        if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
        std::string path = info->dlpi_name;
        std::size_t sep = path.find_last_of('/');
        std::string file = sep == std::string::npos ? path : path.substr(sep + 1);
        // Accept versioned names such as libX.so.1 too.
        if (file == s->wanted || file.rfind(s->wanted + ".", 0) == 0) {
          char resolved[PATH_MAX];
          s->found = ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
          return 1;
        }
        return 0;
      },
      &search);
  return search.found;
}

std::string pluginDirectory() {
  // The platform library's own file, found through the address of this function.
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&pluginDirectory), &info) == 0 || info.dli_fname == nullptr)
    return std::string();
  char resolved[PATH_MAX];
  std::string self = ::realpath(info.dli_fname, resolved) ? std::string(resolved) : info.dli_fname;
  std::size_t sep = lastSeparator(self);
  if (sep == std::string::npos) return std::string();
  return self.substr(0, sep) + "/" PLATFORM_PLUGIN_SUBDIR;
}

void* loadLibrary(const std::string& pluginName) {
  // A name with a folder is loaded from there when the file exists.
  if (lastSeparator(pluginName) != std::string::npos && fileExists(pluginName))
    if (void* handle = ::dlopen(pluginName.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  std::string file = sharedObjectName(pluginName);
  void* handle = nullptr;
  // Beside the program (the build tree), then the installed plug-in folder.
  for (const std::string& folder : {executableDirectory(), pluginDirectory()}) {
    if (handle != nullptr || folder.empty()) continue;
    std::string path = folder + "/" + file;
    if (fileExists(path)) handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle == nullptr) handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) setLastError(126);  // the specified module could not be found
  return handle;
}

void* loadLibraryFile(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) setLastError(126);  // the specified module could not be found
  return handle;
}

void* librarySymbol(void* library, const char* name) {
  if (library == nullptr) return nullptr;
  void* symbol = ::dlsym(library, name);
  if (symbol == nullptr) setLastError(127);  // the specified procedure could not be found
  return symbol;
}

void freeLibrary(void* library) {
  if (library) ::dlclose(library);
}

}  // namespace platform
