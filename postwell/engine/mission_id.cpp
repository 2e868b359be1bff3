#include "engine/mission_id.h"

namespace {

constexpr std::size_t kHostNameLimit = 128;

}  // namespace

std::string composeMissionID(std::string host, long seconds, std::uint32_t tickCount) {
  std::string tick = std::to_string(tickCount);
  if (tick.size() > 3) tick.erase(0, tick.size() - 3);
  const std::string time = std::to_string(seconds);
  if (host.size() > kHostNameLimit) host.resize(kHostNameLimit);
  const std::size_t fixed = 2 + time.size() + tick.size() + kCollisionSuffix;
  if (host.size() + fixed > kMissionIdLimit)
    host.resize(kMissionIdLimit > fixed ? kMissionIdLimit - fixed : 0);
  return host + "." + time + "." + tick;
}
