#include "held_copy.h"

#include <cctype>

namespace signgate {

namespace {

// Host and client names as the MTA gave them, kept to the characters of a host name or address
// literal.
std::string hostText(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 255))
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '[' ||
        c == ']' || c == ':' || c == '_')
      out += c;
  return out.empty() ? "localhost" : out;
}

std::string rfc5322Date(std::time_t when) {
  std::tm utc{};
  ::gmtime_r(&when, &utc);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &utc);
  return text;
}

}  // namespace

std::string queueIdForField(std::string_view queueId) {
  std::string id;
  for (char c : queueId.substr(0, 64))
    if (std::isalnum(static_cast<unsigned char>(c))) id += c;
  return id;
}

std::string receivedValue(std::string_view client, std::string_view host, std::string_view queueId,
                          const std::vector<std::string>& supervisors, std::time_t when) {
  std::string value = "from " + hostText(client) + " by " + hostText(host) +
                      " with ESMTP id " + queueIdForField(queueId) + ".msg";
  if (!supervisors.empty()) value += " for <" + supervisors.front() + ">";
  return value + "; " + rfc5322Date(when);
}

std::string recipientForField(std::string_view rcptArgument) {
  std::string_view address = rcptArgument;
  if (address.size() >= 2 && address.front() == '<' && address.back() == '>')
    address = address.substr(1, address.size() - 2);
  for (char c : address)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "";
  return std::string(address);
}

}  // namespace signgate
