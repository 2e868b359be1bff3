#include "event_log.h"

#include <ctime>
#include <string>

#include "platform/local_time.h"

namespace mailsandbox {

void EventLog::write(std::string_view text) {
  std::tm now = platform::localTimeNow();
  char clock[16];
  std::size_t clockLength = std::strftime(clock, sizeof clock, "%H:%M:%S ", &now);
  std::string line(clock, clockLength);
  for (char c : text) line += static_cast<unsigned char>(c) < ' ' || c == 0x7f ? '?' : c;
  line += '\n';
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

}  // namespace mailsandbox
