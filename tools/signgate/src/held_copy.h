#pragma once
// The fields that the held copy gets on top. Its first Received field names the held message by
// its queue id ("... with ESMTP id <id>.msg ..."), which the supervisor's client reads to list a
// message held twice once; one X-Sign-Rcpt field per original envelope recipient keeps the
// recipients that no header names (Bcc), so that the approved message reaches each of them.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace signgate {

inline constexpr char kRecipientField[] = "X-Sign-Rcpt";

// The queue id made safe for the field: letters and digits only; empty when nothing is left.
std::string queueIdForField(std::string_view queueId);

// "from <client> by <host> with ESMTP id <id>.msg for <supervisor>; <date>", one line.
std::string receivedValue(std::string_view client, std::string_view host, std::string_view queueId,
                          const std::vector<std::string>& supervisors, std::time_t when);

// The address of an RCPT TO argument as it goes into an X-Sign-Rcpt field: the angle brackets
// removed; empty when it holds a control character (nothing of it may reach a header line).
std::string recipientForField(std::string_view rcptArgument);

}  // namespace signgate
