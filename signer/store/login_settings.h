#pragma once
// The [Login] section of Signer.ini in the current directory. The password is never stored.

#include <string>

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
};

inline constexpr char kSignerIni[] = "./Signer.ini";

// Missing keys, and ports that read as 0, give the defaults; only the exact text "1" turns Auth on.
LoginSettings ReadLoginSettings();
// Failures to write are not reported: the settings are then simply not kept. Security is written
// only when it is not none or the file has the key already, so that other files stay as they were.
void WriteLoginSettings(const LoginSettings& settings);
// What the POP3 and SMTP sessions of the supervisor use: Security, with TlsCAFile (a further CA's PEM
// file) and TlsPinSHA256 (a self-signed server's certificate fingerprint), which only Signer.ini holds.
postwell::TlsSettings ReadSessionSecurity();
