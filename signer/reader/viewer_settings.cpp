#include "reader/viewer_settings.h"

#include <string>

#include "platform/profile.h"
#include "store/login_settings.h"

namespace {

constexpr char kSection[] = "Viewer";
// Larger than any screen: a value beyond it is not a size someone left the window at.
constexpr int kLargest = 16384;

}  // namespace

QSize ReadViewerSize() {
  const int width = platform::getPrivateProfileInt(kSection, "Width", 0, kSignerIni);
  const int height = platform::getPrivateProfileInt(kSection, "Height", 0, kSignerIni);
  if (width <= 0 || height <= 0 || width > kLargest || height > kLargest) return {};
  return QSize(width, height);
}

void WriteViewerSize(const QSize& size) {
  platform::ProfileFile::edit(kSignerIni, [&size](platform::ProfileFile& file) {
    return file.setValue(kSection, "Width", std::to_string(size.width())) &&
           file.setValue(kSection, "Height", std::to_string(size.height()));
  });
}
