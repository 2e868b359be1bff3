// A folder's own icon: "Desktop.ini" for Windows' shell, and the desktop's file
// metadata that the file managers of Linux desktops (Nautilus, Nemo, Caja)
// read.

#include <gio/gio.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "groundkit/groundkit.h"
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

// The file manager's custom icon of the folder, as the URI of the icon file; a
// relative icon path is taken from the folder, as the shell takes the one in
// Desktop.ini. Nothing happens where the desktop keeps no file metadata (no
// metadata service, no session bus).
void setCustomIconMetadata(const std::string& folder, const char* iconFile) {
  std::string icon(iconFile);
  std::replace(icon.begin(), icon.end(), '\\', '/');
  GFile* directory = g_file_new_for_path(folder.c_str());
  GFile* iconLocation = g_path_is_absolute(icon.c_str())
                            ? g_file_new_for_path(icon.c_str())
                            : g_file_resolve_relative_path(directory, icon.c_str());
  gchar* uri = g_file_get_uri(iconLocation);
  GError* error = nullptr;
  if (!g_file_set_attribute_string(directory, "metadata::custom-icon", uri, G_FILE_QUERY_INFO_NONE,
                                   nullptr, &error))
    g_clear_error(&error);
  g_free(uri);
  g_object_unref(iconLocation);
  g_object_unref(directory);
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
  setCustomIconMetadata(path, iconFile);
}

}  // extern "C"
