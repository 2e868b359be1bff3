#pragma once

#include <cstdint>
#include <string>

// A mission identifier "host.seconds.ddd" (ddd: the last three digits of the tick count). The host
// name is shortened so that the identifier and any ".N" that a collision adds (N of up to ten
// digits) stay within a mission identifier's 63 characters.
std::string composeMissionID(std::string host, long seconds, std::uint32_t tick);

inline constexpr std::size_t kMissionIdLimit = 63;
// Room kept for the ".N" of a collision.
inline constexpr std::size_t kCollisionSuffix = 11;
