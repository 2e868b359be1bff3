#include <string>

#include "platform/profile.h"
#include "postwell/mail_device_setting.h"

namespace {

const char kDefaultSection[] = "Default";
const char kSpecialDomainSection[] = "Special Domain";
constexpr unsigned long kValueBuffer = 255;
constexpr int kDefaultPort = 25;
constexpr int kHighestPort = 9999;
constexpr int kDefaultTimeoutSeconds = 30;

std::string readValue(const char* section, const char* key, const char* defaultValue, const char* file) {
  char value[kValueBuffer] = "";
  platform::getPrivateProfileString(section, key, defaultValue, value, sizeof value, file);
  return value;
}

}  // namespace

CMailDeviceSetting::CMailDeviceSetting()
    : m_bAutoGetSMTPServer(0), m_nSMTPPort(0), m_bAuthCheck(0), m_nTimeout(kDefaultTimeoutSeconds) {}

CMailDeviceSetting::~CMailDeviceSetting() = default;

void CMailDeviceSetting::LoadSetting(const char* deviceName, const char* settingFile, const char* section) {
  m_sSettingFile = settingFile ? settingFile : "";
  const char* file = m_sSettingFile.c_str();
  if (section == nullptr) section = kDefaultSection;
  auto read = [&](const char* key, const char* defaultValue = "") {
    return readValue(section, key, defaultValue, file);
  };

  m_bAutoGetSMTPServer = CompareSettingItem(read("AUTOGETSMTPSERVER"), "YES", 0);
  m_sDNSServer1 = read("DNSSERVER1");
  m_sDNSServer2 = read("DNSSERVER2");
  m_sSMTPServer = read("SMTPSERVER");
  const long port = platform::leadingInteger(read("SMTPPORT"));
  m_nSMTPPort = port < 1 || port > kHighestPort ? kDefaultPort : static_cast<int>(port);
  m_bAuthCheck = CompareSettingItem(read("AUTHCHECK"), "YES", 0);
  m_sAuthLoginName = read("AUTHLOGINNAME");
  m_sAuthLoginPass = read("AUTHLOGINPASS");
  m_sModiMailerFromBy = read("MODIMAILERFROMBY");
  const long timeout = platform::leadingInteger(read("TIMEOUT", "30"));
  m_nTimeout = timeout < 1 || timeout > 0x7fffffffL ? kDefaultTimeoutSeconds : static_cast<int>(timeout);
  if (!postwell::parseConnectionSecurity(read("SECURITY"), m_Security.mode))
    m_Security.mode = postwell::ConnectionSecurity::StartTls;
  m_Security.caFile = read("TLSCAFILE");
  m_Security.pinnedSha256 = read("TLSPINSHA256");
}

void CMailDeviceSetting::SaveSetting() {
  const char* file = m_sSettingFile.c_str();
  auto write = [&](const char* key, const std::string& value) {
    PutAttribute(kDefaultSection, key, file, value);
  };
  write("AUTOGETSMTPSERVER", m_bAutoGetSMTPServer ? "YES" : "NO");
  write("DNSSERVER1", m_sDNSServer1);
  write("DNSSERVER2", m_sDNSServer2);
  write("SMTPSERVER", m_sSMTPServer);
  write("SMTPPORT", std::to_string(m_nSMTPPort));
  write("AUTHCHECK", m_bAuthCheck ? "YES" : "NO");
  write("AUTHLOGINNAME", m_sAuthLoginName);
  write("AUTHLOGINPASS", m_sAuthLoginPass);
  write("MODIMAILERFROMBY", m_sModiMailerFromBy);
  // A file that never asked for TLS keeps its keys as they were.
  auto writeIfUsed = [&](const char* key, const std::string& value, bool used) {
    if (used || !readValue(kDefaultSection, key, "", file).empty()) write(key, value);
  };
  writeIfUsed("SECURITY", postwell::connectionSecurityName(m_Security.mode),
              m_Security.mode != postwell::ConnectionSecurity::None);
  writeIfUsed("TLSCAFILE", m_Security.caFile, !m_Security.caFile.empty());
  writeIfUsed("TLSPINSHA256", m_Security.pinnedSha256, !m_Security.pinnedSha256.empty());
}

std::string CMailDeviceSetting::GetSettingSecFlag(const char* domain, const char* settingFile) {
  const std::string section = readValue(kSpecialDomainSection, domain ? domain : "", "", settingFile);
  return section.empty() ? kDefaultSection : section;
}
