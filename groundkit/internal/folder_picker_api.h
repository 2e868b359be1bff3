#pragma once
// The entry point of the folder picker library, which Groundkit loads only when
// a host opens the picker, so that Groundkit itself needs no GUI library.

#if defined(_WIN32)
#define FOLDER_PICKER_API __declspec(dllexport)
#else
#define FOLDER_PICKER_API __attribute__((visibility("default")))
#endif

namespace groundkit {

inline constexpr const char* kFolderPickerLibrary = "GroundkitFolderPicker";
inline constexpr const char* kFolderPickerEntry = "GroundkitPickFolder";

struct FolderPickerRequest {
  const char* title;          // UTF-8; null or empty for the dialog's own title
  void* owner;                // the host's QWidget*, or null
  const char* rootFolder;     // null or empty: the whole file system
  const char* initialFolder;  // null or empty: where the dialog starts by itself
};

enum FolderPickerResult : int {
  kFolderChosen = 1,  // the path is in chosen, zero-terminated
  kFolderCancelled = 0,
  kFolderPickerUnavailable = -1,  // no display, a host application without widgets, a bad root
  kFolderPathTooLong = -2,        // the chosen path does not fit into chosen
};

using FolderPickerEntry = int (*)(const FolderPickerRequest* request, char* chosen,
                                  unsigned long chosenSize);

}  // namespace groundkit
