// The session's debug log: lines go to the debug monitor and to the session's own file, and only
// while the debug flag is set.
#include <cstdio>
#include <ctime>
#include <string>

#include "groundkit/groundkit.h"
#include "postwell/pop3_connection.h"

namespace {
constexpr int kDebugMessageKind = 1285;
}

void CPop3Connection::LoggingInfo0(const char* text, unsigned level) {
  if (!m_bDebug) return;
  if (m_hDebugWnd != nullptr)
    BSCF_SendMessageData(m_hDebugWnd, text, kDebugMessageKind, static_cast<int>(level), 0);
  std::FILE* file = std::fopen(m_szDebugFile, "ab");
  if (file == nullptr) return;
  std::fputs(text, file);
  std::fputs("\r\n", file);
  std::fclose(file);
}

void CPop3Connection::LoggingInfo1(const char* text, unsigned level) {
  char stamp[128] = "";
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr || std::strftime(stamp, sizeof stamp, "%x %X", &local) == 0)
    stamp[0] = '\0';
  LoggingInfo0((std::string(stamp) + "\t" + text).c_str(), level);
}

void CPop3Connection::LoggingInfo2(const char* format, const char* argument, unsigned level) {
  const int length = std::snprintf(nullptr, 0, format, argument);
  if (length < 0) return;
  std::string text(static_cast<std::size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, format, argument);
  LoggingInfo0(text.c_str(), level);
}

void CPop3Connection::Announce(const char* arrow, const std::string& text) {
  const std::string line = std::string(arrow) + " " + text;
  SetDeviceStatus(line.c_str());
  LoggingInfo1(line.c_str(), 0);
}
