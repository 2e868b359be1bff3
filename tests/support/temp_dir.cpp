#include "temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/native_path.h"

namespace testsupport {

TempDir::TempDir() {
  // The system's temporary folder ($TMPDIR or /tmp; %TEMP% on Windows) and a fresh random name.
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path();
  std::random_device random;
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "mailsignoff-test-";
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    std::error_code error;
    if (fs::create_directory(base / name, error)) {
      if constexpr (fs::path::preferred_separator == '/') {
        path_ = (base / name).generic_string();
      } else {
        // As UTF-8 with "/" separators, whatever the code page (%TEMP% may hold the user's name).
        path_ = platform::pathText(base / name);
        std::replace(path_.begin(), path_.end(), static_cast<char>(fs::path::preferred_separator),
                     '/');
      }
      while (path_.size() > 1 && path_.back() == '/') path_.pop_back();
      return;
    }
    if (error) throw std::runtime_error("cannot create a temporary folder: " + error.message());
  }
  throw std::runtime_error("no free temporary folder name");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(platform::nativePath(path_), ignored);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

std::string readFile(const std::string& path) {
  std::ifstream in(platform::nativePath(path), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(platform::nativePath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testsupport
