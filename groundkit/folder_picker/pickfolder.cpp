// Opens the folder picker from a program that has no GUI library of its own and
// prints the folder chosen. Exit 0 when a folder was chosen, 1 when not.
//
//   groundkit_pickfolder [title [root-folder [initial-folder]]]

#include <cstdio>

#include "groundkit/groundkit.h"

#if defined(__SANITIZE_ADDRESS__)
// The font library keeps memory to the end of the process; the sanitizer build
// would report it at every exit. Nothing of ours is hidden by this. The
// sanitizer looks both up by name.
#define SANITIZER_HOOK extern "C" __attribute__((visibility("default"), used))
SANITIZER_HOOK const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
SANITIZER_HOOK const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

int main(int argc, char** argv) {
  char folder[1024] = "";
  int chosen = BSCF_ShowFolderSelectDlg(folder, argc > 1 ? argv[1] : "Choose a folder", nullptr,
                                        argc > 2 ? argv[2] : nullptr, argc > 3 ? argv[3] : nullptr);
  if (!chosen) return 1;
  std::puts(folder);
  return 0;
}
