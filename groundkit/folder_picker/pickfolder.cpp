// Opens the folder picker from a program that has no GUI library of its own and
// prints the folder chosen. Exit 0 when a folder was chosen, 1 when not.
//
//   groundkit_pickfolder [title [root-folder [initial-folder]]]

#include <cstdio>

#include "groundkit/groundkit.h"

int main(int argc, char **argv) {
  char folder[1024] = "";
  int chosen = BSCF_ShowFolderSelectDlg(
      folder, argc > 1 ? argv[1] : "Choose a folder", nullptr,
      argc > 2 ? argv[2] : nullptr, argc > 3 ? argv[3] : nullptr);
  if (!chosen)
    return 1;
  std::puts(folder);
  return 0;
}
