#pragma once
// The [Login] section of Signer.ini in the current directory. The password is never stored.

#include <string>
#include <string_view>

#include "postwell/connection_security.h"

struct LoginSettings {
  std::string userName;
  std::string server;
  int pop3Port = 110;
  int smtpPort = 25;
  bool auth = false;
  // Key Security: none (also when missing), starttls or tls; any other value reads as starttls, so
  // that a mistyped value never sends the password in clear.
  postwell::ConnectionSecurity security = postwell::ConnectionSecurity::None;
  // Keys TlsCAFile (a PEM file of further trusted CAs) and TlsPinSHA256 (the SHA-256 fingerprint of
  // a self-signed server's certificate, the only check when it is set); read whole.
  std::string tlsCaFile{};
  std::string tlsPinSha256{};
};

inline constexpr char kSignerIni[] = "./Signer.ini";

// Missing keys, and ports that read as 0, give the defaults; only the exact text "1" turns Auth on.
LoginSettings ReadLoginSettings();
// Failures to write are not reported: the settings are then simply not kept. Security, TlsCAFile and
// TlsPinSHA256 are written only when they are set or the file has the key already, so that other
// files stay as they were.
void WriteLoginSettings(const LoginSettings& settings);
// What the POP3 and SMTP sessions of the supervisor use: Security, TlsCAFile and TlsPinSHA256.
postwell::TlsSettings ReadSessionSecurity();

// A fingerprint as the sessions take TlsPinSHA256: 64 hexadecimal digits, which colons and blanks
// may separate (as openssl prints them).
bool IsSha256Fingerprint(std::string_view text);
