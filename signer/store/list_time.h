#pragma once

#include <cstdint>
#include <string>

// Seconds since the epoch at which the file was last written; now when it cannot be read.
std::int64_t FileTimeOrNow(const std::string& path);
// Seconds since the epoch now.
std::int64_t TimeNow();
// The local time as the lists show it: "yyyy-MM-dd HH:mm:ss".
std::string ListTime(std::int64_t secondsSinceEpoch);
std::string ListTimeNow();
