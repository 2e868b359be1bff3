#pragma once

#include <string>

#include "platform/export.h"

namespace platform {

// This machine's host name; empty when it cannot be had.
PLATFORM_API std::string localHostName();

}  // namespace platform
