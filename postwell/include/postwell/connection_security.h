#pragma once
// How a POP3 or SMTP session protects its connection: not at all (as before), by upgrading after
// the greeting (STLS for POP3, STARTTLS for SMTP), or with TLS from the first byte.

#include <string>
#include <string_view>

#include "postwell/export.h"

namespace postwell {

enum class ConnectionSecurity { None, StartTls, Tls };

struct TlsSettings {
  ConnectionSecurity mode = ConnectionSecurity::None;
  // A PEM file of further trusted CAs, besides the system's trust store.
  std::string caFile;
  // The SHA-256 fingerprint of a self-signed server's certificate, in hex: the only check then.
  std::string pinnedSha256;
};

// Settings files name the modes "none", "starttls" and "tls" (any case). An empty value is "none";
// an unknown one is false, so that a typing error never turns security off silently.
POSTWELL_API bool parseConnectionSecurity(std::string_view text, ConnectionSecurity& mode);
POSTWELL_API const char* connectionSecurityName(ConnectionSecurity mode);

}  // namespace postwell
