#pragma once
// The [Login] section of Signer.ini in the current directory. The password is never stored.

#include <string>

struct LoginSettings {
  std::string userName;
  std::string server;
  int pop3Port = 110;
  int smtpPort = 25;
  bool auth = false;
};

inline constexpr char kSignerIni[] = "./Signer.ini";

// Missing keys, and ports that read as 0, give the defaults; only the exact text "1" turns Auth on.
LoginSettings ReadLoginSettings();
// Failures to write are not reported: the settings are then simply not kept.
void WriteLoginSettings(const LoginSettings& settings);
