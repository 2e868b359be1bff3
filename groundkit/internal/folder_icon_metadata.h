#pragma once
// The part of a folder's custom icon that depends on the desktop.

#include <string>

namespace groundkit {

// Records the icon file for the folder where the desktop's file manager keeps
// such metadata; a relative icon path is taken from the folder. Nothing happens
// where there is no such store.
void setCustomIconMetadata(const std::string& folder, const char* iconFile);

}  // namespace groundkit
