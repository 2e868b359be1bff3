#include "store/login_settings.h"

#include <cctype>
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

std::string ReadWholeText(const char* key) {
  return platform::getPrivateProfileString(kSection, key, "", kSignerIni);
}

void WriteText(const char* key, const std::string& value) {
  platform::writePrivateProfileString(kSection, key, value.c_str(), kSignerIni);
}

void WriteTextIfUsed(const char* key, const std::string& value) {
  if (!value.empty() || !ReadText(key).empty()) WriteText(key, value);
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
  settings.tlsCaFile = ReadWholeText("TlsCAFile");
  settings.tlsPinSha256 = ReadWholeText("TlsPinSHA256");
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
  WriteTextIfUsed("TlsCAFile", settings.tlsCaFile);
  WriteTextIfUsed("TlsPinSHA256", settings.tlsPinSha256);
}

postwell::TlsSettings ReadSessionSecurity() {
  const LoginSettings settings = ReadLoginSettings();
  postwell::TlsSettings tls;
  tls.mode = settings.security;
  tls.caFile = settings.tlsCaFile;
  tls.pinnedSha256 = settings.tlsPinSha256;
  return tls;
}

bool IsSha256Fingerprint(std::string_view text) {
  int digits = 0;
  for (const char c : text) {
    if (c == ':' || c == ' ' || c == '\t') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    ++digits;
  }
  return digits == 64;
}
