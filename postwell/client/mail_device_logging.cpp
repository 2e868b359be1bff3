// The session's debug log: lines go to the debug monitor and to the session's own file, and only
// while the debug flag is set.
#include <ctime>
#include <string>

#include "platform/append_file.h"
#include "platform/last_error.h"
#include "platform/local_time.h"
#include "postwell/mail_device.h"
#include "text_format/formatted.h"

namespace {
constexpr int kDebugMessageKind = 1285;
}

void CMailDevice::LoggingInfo0(const char* text, unsigned level) {
  if (!m_bDebug) return;
  // Logging leaves the error of the operation being logged in place.
  const unsigned long lastError = platform::lastError();
  if (m_hDebugWnd != nullptr)
    BSCF_SendMessageData(m_hDebugWnd, text, kDebugMessageKind, static_cast<int>(level), 0);
  // A file that cannot be written loses the line.
  platform::appendToFile(m_szDebugFile, std::string(text) + "\r\n");
  platform::setLastError(lastError);
}

void CMailDevice::LoggingInfo1(const char* text, unsigned level) {
  char stamp[128] = "";
  const std::tm local = platform::localTimeNow();
  if (std::strftime(stamp, sizeof stamp, "%x %X", &local) == 0) stamp[0] = '\0';
  LoggingInfo0((std::string(stamp) + "\t" + text).c_str(), level);
}

void CMailDevice::LoggingInfo2(const char* format, const char* argument, unsigned level) {
  LoggingInfo0(text_format::formatted(format, argument).c_str(), level);
}

void CMailDevice::StatusAndLog(const std::string& text) {
  SetDeviceStatus(text.c_str());
  LoggingInfo1(text.c_str(), 0);
}

void CMailDevice::AnnounceCommand(const std::string& line, bool hidden) {
  StatusAndLog(std::string("-> ") + (hidden ? "*****" : line));
}

void CMailDevice::AnnounceReply() { StatusAndLog("<- " + m_sLastCommandResponse); }

void CMailDevice::Fail(unsigned long& error, unsigned long code, const std::string& description) {
  error = code;
  m_sLastErrorDescription = description;
  LoggingInfo1(description.c_str(), 2);
}
