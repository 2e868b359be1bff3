// The session's debug log: lines go to the debug monitor and to the session's own file, and only
// while the debug flag is set.
#include <ctime>
#include <string>

#include "groundkit/groundkit.h"
#include "platform/append_file.h"
#include "platform/local_time.h"
#include "postwell/pop3_connection.h"
#include "text_format/formatted.h"

namespace {
constexpr int kDebugMessageKind = 1285;
}

void CPop3Connection::LoggingInfo0(const char* text, unsigned level) {
  if (!m_bDebug) return;
  if (m_hDebugWnd != nullptr)
    BSCF_SendMessageData(m_hDebugWnd, text, kDebugMessageKind, static_cast<int>(level), 0);
  // A file that cannot be written loses the line.
  platform::appendToFile(m_szDebugFile, std::string(text) + "\r\n");
}

void CPop3Connection::LoggingInfo1(const char* text, unsigned level) {
  char stamp[128] = "";
  const std::tm now = platform::localTimeNow();
  if (std::strftime(stamp, sizeof stamp, "%x %X", &now) == 0) stamp[0] = '\0';
  LoggingInfo0((std::string(stamp) + "\t" + text).c_str(), level);
}

void CPop3Connection::LoggingInfo2(const char* format, const char* argument, unsigned level) {
  LoggingInfo0(text_format::formatted(format, argument).c_str(), level);
}

void CPop3Connection::Announce(const char* arrow, const std::string& text) {
  const std::string line = std::string(arrow) + " " + text;
  SetDeviceStatus(line.c_str());
  LoggingInfo1(line.c_str(), 0);
}
