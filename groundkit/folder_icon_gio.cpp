// The folder icon in the file metadata that the file managers of Linux desktops
// (Nautilus, Nemo, Caja) read.

#include <gio/gio.h>

#include <algorithm>

#include "internal/folder_icon_metadata.h"

namespace groundkit {

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

}  // namespace groundkit
