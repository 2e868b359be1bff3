#pragma once
// One line per decision, to syslog (facility mail, so the journal and mail.log have it) and, when
// asked, to standard error as well. Values from the message are put on one line; no body and no
// password ever reaches the log.

#include <string>
#include <string_view>

namespace signgate {

void openGateLog(bool alsoToStandardError);
void logInfo(const std::string& line);
void logError(const std::string& line);

// The text with every control character made a blank and cut to a length fit for a log line.
std::string logValue(std::string_view text);

}  // namespace signgate
