// Windows' shell reads the folder's Desktop.ini itself; there is no further
// metadata to keep.

#include "internal/folder_icon_metadata.h"

namespace groundkit {

void setCustomIconMetadata(const std::string&, const char*) {}

}  // namespace groundkit
