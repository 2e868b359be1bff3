// Printers where the build has no print system to ask (the Windows build, until
// the spooler calls are behind the platform layer): every call fails with the
// system's "not supported" code.

#include <string>
#include <vector>

#include "groundkit/groundkit.h"

namespace {

constexpr unsigned long kNotSupported = 50;

}  // namespace

extern "C" {

int BSCF_GetDefaultPrinter(char* name, unsigned long size, unsigned long& error) {
  if (name != nullptr && size > 0) *name = '\0';
  error = kNotSupported;
  return 0;
}

int BSCF_SetDefaultPrinter(const char*, unsigned long& error) {
  error = kNotSupported;
  return 0;
}

int BSCF_EnumSysPrinters(std::vector<std::string>& array) {
  array.clear();
  return 0;
}

}  // extern "C"
