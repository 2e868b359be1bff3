#include "postwell/connection_security.h"

#include <cctype>

namespace postwell {

bool parseConnectionSecurity(std::string_view text, ConnectionSecurity& mode) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.empty() || lower == "none") {
    mode = ConnectionSecurity::None;
  } else if (lower == "starttls") {
    mode = ConnectionSecurity::StartTls;
  } else if (lower == "tls") {
    mode = ConnectionSecurity::Tls;
  } else {
    return false;
  }
  return true;
}

const char* connectionSecurityName(ConnectionSecurity mode) {
  switch (mode) {
    case ConnectionSecurity::StartTls:
      return "starttls";
    case ConnectionSecurity::Tls:
      return "tls";
    case ConnectionSecurity::None:
      break;
  }
  return "none";
}

}  // namespace postwell
