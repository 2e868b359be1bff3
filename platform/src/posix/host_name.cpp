#include "platform/host_name.h"

#include <climits>
#include <unistd.h>

namespace platform {

std::string localHostName() {
  char name[HOST_NAME_MAX + 1] = "";
  if (::gethostname(name, sizeof name) != 0) return "";
  name[HOST_NAME_MAX] = '\0';
  return name;
}

}  // namespace platform
