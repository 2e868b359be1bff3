// The session's debug log: lines go to the debug monitor and to the session's own file, and only
// while the debug flag is set.
#include <string>

#include "client/line_session.h"
#include "postwell/pop3_connection.h"
#include "text_format/formatted.h"

namespace session = postwell::line_session;

void CPop3Connection::LoggingInfo0(const char* text, unsigned level) {
  session::writeDebugLine({m_bDebug, m_hDebugWnd, m_szDebugFile}, text, level);
}

void CPop3Connection::LoggingInfo1(const char* text, unsigned level) {
  LoggingInfo0(session::stampedLine(text).c_str(), level);
}

void CPop3Connection::LoggingInfo2(const char* format, const char* argument, unsigned level) {
  LoggingInfo0(text_format::formatted(format, argument).c_str(), level);
}

void CPop3Connection::StatusAndLog(const std::string& text) {
  SetDeviceStatus(text.c_str());
  LoggingInfo1(text.c_str(), 0);
}

void CPop3Connection::AnnounceReply() { StatusAndLog("<- " + m_sLastCommandResponse); }
