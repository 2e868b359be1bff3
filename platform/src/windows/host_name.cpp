#include "platform/host_name.h"

#include <windows.h>

namespace platform {

std::string localHostName() {
  char name[256] = "";
  DWORD size = sizeof name;
  if (!::GetComputerNameExA(ComputerNameDnsHostname, name, &size)) return "";
  return std::string(name, size);
}

}  // namespace platform
