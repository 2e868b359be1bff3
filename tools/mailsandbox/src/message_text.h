#pragma once
// Reading header fields of a message as it arrived (lines ending in CR LF or in a bare LF) and
// making the trace field that the stand-in puts on top of every message it stores.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace mailsandbox {

// The values of every header field with that name (case ignored), in order, unfolded (line breaks
// of continuation lines removed) and without the blanks after the colon. The header ends at the
// first empty line.
std::vector<std::string> headerFieldValues(std::string_view message, std::string_view name);

// The message with every header field of that name (case ignored, continuation lines included)
// removed and the fields (whole lines) added at the end of the header.
std::string withHeaderFieldsReplaced(std::string_view message, std::string_view name,
                                     std::string_view fields);

// "Tue, 03 Dec 2024 09:05:00 +0100"
std::string messageDate(const std::tm& localTime);

// "Received: from [127.0.0.1] by <host> with ESMTP id <queueId>.msg for <address>; <date>\r\n",
// without the "for" clause when forAddress is empty. The queue id names the message's file.
std::string receivedField(std::string_view host, std::string_view queueId, std::string_view forAddress,
                          const std::tm& localTime);

}  // namespace mailsandbox
