#pragma once

#include <ctime>

#include "platform/export.h"

namespace platform {

// The local calendar time now; safe to call from several threads at once.
PLATFORM_API std::tm localTimeNow();

}  // namespace platform
