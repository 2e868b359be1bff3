// Adds one header line to a message file: header_line_driver <message> <name> <value>.
// Exit code 0 when it was added.
#include "groundkit/groundkit.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  return BSCFEM_AddSpecialHeadLine(argv[1], argv[2], argv[3]) == 1 ? 0 : 1;
}
