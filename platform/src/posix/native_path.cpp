#include "platform/native_path.h"

namespace platform {

std::filesystem::path nativePath(const std::string& path) { return std::filesystem::path(path); }

std::string pathText(const std::filesystem::path& path) { return path.string(); }

std::FILE* openFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool removeFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

}  // namespace platform
