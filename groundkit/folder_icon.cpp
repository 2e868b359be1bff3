// A folder's own icon: "Desktop.ini" for Windows' shell, and where the desktop
// keeps file metadata of its own, that too (internal/folder_icon_metadata.h).

#include <algorithm>
#include <string>
#include <string_view>

#include "groundkit/groundkit.h"
#include "internal/folder_icon_metadata.h"
#include "platform/file_attributes.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace {

std::string folderPath(std::string_view folder) {
  std::string path(folder);
  std::replace(path.begin(), path.end(), '\\', '/');
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool writeDesktopIni(const std::string& folder, const char* iconFile, int iconIndex) {
  return platform::ProfileFile::edit(folder + "/Desktop.ini", [&](platform::ProfileFile& ini) {
    return ini.setValue(".ShellClassInfo", "IconFile", iconFile) &&
           ini.setValue(".ShellClassInfo", "IconIndex", std::to_string(iconIndex));
  });
}

}  // namespace

extern "C" {

void BSCF_SetFolderIcon(const char* folder, const char* iconFile, int iconIndex) {
  if (folder == nullptr || *folder == '\0' || iconFile == nullptr || *iconFile == '\0') return;
  std::string path = folderPath(folder);
  if (!platform::isDirectory(path)) return;
  // A value with a line break or a zero byte is refused here, before it could
  // add lines of its own.
  if (!writeDesktopIni(path, iconFile, iconIndex)) return;
  platform::markFolderCustomized(path);
  groundkit::setCustomIconMetadata(path, iconFile);
}

}  // extern "C"
