#include "gate_log.h"

#include <syslog.h>

namespace signgate {

namespace {
constexpr std::size_t kLogValueMax = 512;
}

void openGateLog(bool alsoToStandardError) {
  ::openlog("signgate", LOG_PID | LOG_NDELAY | (alsoToStandardError ? LOG_PERROR : 0), LOG_MAIL);
}

void logInfo(const std::string& line) { ::syslog(LOG_INFO, "%s", line.c_str()); }

void logError(const std::string& line) { ::syslog(LOG_ERR, "%s", line.c_str()); }

std::string logValue(std::string_view text) {
  std::string value(text.substr(0, kLogValueMax));
  for (char& c : value)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  if (text.size() > kLogValueMax) value += "...";
  return value;
}

}  // namespace signgate
