#include "platform/local_time.h"

namespace platform {

std::tm localTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_s(&local, &now);
  return local;
}

}  // namespace platform
