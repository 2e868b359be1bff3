// The folder picker: the dialog lives in a library of its own, loaded from
// beside Groundkit the first time a host opens it.

#include <string>
#include <vector>

#include "groundkit/groundkit.h"
#include "internal/bounded_copy.h"
#include "internal/folder_picker_api.h"
#include "platform/files.h"

namespace {

groundkit::FolderPickerEntry loadPicker() {
  static groundkit::FolderPickerEntry entry = [] {
    std::string file = platform::sharedObjectName(groundkit::kFolderPickerLibrary);
    void* library = nullptr;
    if (auto self = platform::loadedModulePath("Groundkit")) {
      std::string directory = self->substr(0, self->find_last_of('/'));
      library = platform::loadLibraryFile(directory + "/" + file);
    }
    if (library == nullptr) library = platform::loadLibrary(groundkit::kFolderPickerLibrary);
    // Never unloaded: the GUI library it brings in cannot be torn down while
    // the process runs.
    return reinterpret_cast<groundkit::FolderPickerEntry>(
        platform::librarySymbol(library, groundkit::kFolderPickerEntry));
  }();
  return entry;
}

}  // namespace

extern "C" {

int BSCF_ShowFolderSelectDlg(char* folder, const char* title, void* owner, const char* rootFolder,
                             const char* initialFolder) {
  groundkit::boundedCopy(folder, "");
  groundkit::FolderPickerEntry pick = loadPicker();
  if (pick == nullptr) return 0;
  groundkit::FolderPickerRequest request{title, owner, rootFolder, initialFolder};
  // Room for any path the file system can hold, so that a longer one is
  // noticed, not cut.
  std::vector<char> chosen(4096 + 1, '\0');
  if (pick(&request, chosen.data(), chosen.size()) != groundkit::kFolderChosen) return 0;
  std::string path(chosen.data());
  // A cut path would name another folder.
  if (path.empty() || path.size() > groundkit::kBoundedCopyMax) return 0;
  groundkit::boundedCopy(folder, path);
  return 1;
}

}  // extern "C"
