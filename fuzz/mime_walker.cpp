// The MIME walker on any message: every part file it reports lies directly in
// the output directory, exists, and nothing else (no ".tmp", nothing elsewhere)
// is left behind.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "groundkit/groundkit.h"

namespace {

namespace fs = std::filesystem;

const fs::path& workDirectory() {
  static const fs::path root = [] {
    fs::path path = fs::temp_directory_path() / ("fuzz_mime_walker." + std::to_string(::getpid()));
    fs::create_directories(path / "out");
    return path;
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& root = workDirectory();
  const fs::path message = root / "message.eml";
  const fs::path out = root / "out";
  {
    std::ofstream file(message, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::vector<std::string> files;
  unsigned long error = 0;
  int result = BSCFEM_D_WalkMimeMessage(message.c_str(), out.c_str(), files, error);
  FUZZ_CHECK(result == 1 || files.empty());
  for (const std::string& file : files) {
    FUZZ_CHECK(fs::path(file).parent_path() == out);
    FUZZ_CHECK(fs::is_regular_file(file));
  }
  std::size_t onDisk = 0;
  for (const auto& entry : fs::directory_iterator(out)) {
    ++onDisk;
    fs::remove_all(entry.path());
  }
  FUZZ_CHECK(onDisk == files.size());
  for (const auto& entry : fs::directory_iterator(root))
    FUZZ_CHECK(entry.path() == message || entry.path() == out);
  return 0;
}
