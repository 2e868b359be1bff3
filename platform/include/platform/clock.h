#pragma once

#include <cstdint>

#include "platform/export.h"

namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the Windows tick count.
PLATFORM_API std::uint32_t tickCount();
PLATFORM_API void sleepMs(unsigned long milliseconds);

}  // namespace platform
