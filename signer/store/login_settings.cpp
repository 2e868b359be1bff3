#include "store/login_settings.h"

#include <string>

#include "platform/profile.h"

namespace {

constexpr char kSection[] = "Login";

std::string ReadText(const char* key) {
  char value[255];
  platform::getPrivateProfileString(kSection, key, "", value, sizeof value, kSignerIni);
  return value;
}

int ReadPort(const char* key, int defaultPort) {
  const int port = platform::getPrivateProfileInt(kSection, key, defaultPort, kSignerIni);
  return port == 0 ? defaultPort : port;
}

void WriteText(const char* key, const std::string& value) {
  platform::writePrivateProfileString(kSection, key, value.c_str(), kSignerIni);
}

}  // namespace

LoginSettings ReadLoginSettings() {
  LoginSettings settings;
  settings.userName = ReadText("UserName");
  settings.server = ReadText("Server");
  settings.pop3Port = ReadPort("Port", 110);
  settings.smtpPort = ReadPort("SMTPPort", 25);
  settings.auth = ReadText("Auth") == "1";
  if (!postwell::parseConnectionSecurity(ReadText("Security"), settings.security))
    settings.security = postwell::ConnectionSecurity::StartTls;
  return settings;
}

void WriteLoginSettings(const LoginSettings& settings) {
  WriteText("UserName", settings.userName);
  WriteText("Server", settings.server);
  WriteText("Port", std::to_string(settings.pop3Port));
  WriteText("SMTPPort", std::to_string(settings.smtpPort));
  WriteText("Auth", settings.auth ? "1" : "0");
  if (settings.security != postwell::ConnectionSecurity::None || !ReadText("Security").empty())
    WriteText("Security", postwell::connectionSecurityName(settings.security));
}

postwell::TlsSettings ReadSessionSecurity() {
  postwell::TlsSettings tls;
  tls.mode = ReadLoginSettings().security;
  tls.caFile = ReadText("TlsCAFile");
  tls.pinnedSha256 = ReadText("TlsPinSHA256");
  return tls;
}
