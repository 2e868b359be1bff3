#include "platform/new_file.h"

#include <cerrno>

#include "platform/last_error.h"

namespace platform {

std::FILE* createNewFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  if (file == nullptr) setLastError(errno == EEXIST ? err::kFileExists : fileErrorFromErrno(errno));
  return file;
}

}  // namespace platform
