#include "postwell/dns_device.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "groundkit/groundkit.h"
#include "platform/profile.h"
#include "platform/resolver_config.h"
#include "postwell/mail_device.h"
#include "postwell/mail_device_setting.h"
#include "postwell/mx_lookup.h"
#include "text_format/formatted.h"

using text_format::formatted;

namespace {

const char kDomainTable[] = "SPECIAL DOMAIN";
const char kDefaultProject[] = "Default Server";
const char kSeparator[] = ",";
// The built-in DNS server; kept for callers that read it, never used for a lookup.
const char kBuiltInDNSServer[] = "127.0.0.1";
constexpr unsigned long kValueBuffer = 255;
// The address functions write up to 1,023 characters and a zero into each part.
constexpr std::size_t kAddressPartBuffer = 1024;
constexpr unsigned long kDefaultLookupTimeoutMs = 60000;
constexpr int kSmtpPort = 25;

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  });
  return text;
}

bool isYes(const std::string& value) { return lowerCase(value) == "yes"; }

template <std::size_t N>
void copyField(char (&field)[N], const std::string& value) {
  std::memset(field, 0, N);
  std::memcpy(field, value.data(), std::min(value.size(), N - 1));
}

}  // namespace

CDNSDevice::CDNSDevice()
    : m_pException(nullptr),
      m_sDNSServer1(kBuiltInDNSServer),
      m_sDNSServer2(kBuiltInDNSServer),
      m_dwLookupTimeout(kDefaultLookupTimeoutMs) {}

CDNSDevice::CDNSDevice(const CDNSDevice& other) = default;
CDNSDevice& CDNSDevice::operator=(const CDNSDevice& other) = default;
CDNSDevice::~CDNSDevice() = default;

void CDNSDevice::Initialize(IDeviceException* sink, const char* settingFile) {
  m_pException = sink;
  try {
    m_sSettingFile = settingFile ? settingFile : "";
  } catch (...) {
    m_sSettingFile.clear();
  }
}

void CDNSDevice::Report(const char* source, const std::string& text) {
  if (m_pException == nullptr) return;
  tagDeviceException record;
  std::memset(&record, 0, sizeof record);
  std::strncpy(record.szSource, source, sizeof record.szSource - 1);
  std::strncpy(record.szDescription, text.c_str(), sizeof record.szDescription - 1);
  m_pException->OnDeviceException(&record);
}

std::string CDNSDevice::GetSpecialSMTPProject(const char* key) {
  char value[kValueBuffer] = "";
  platform::getPrivateProfileString(kDomainTable, key ? key : "", "", value, sizeof value,
                                    m_sSettingFile.c_str());
  return value;
}

std::string CDNSDevice::GetSMTPServerProject(const char* sender, const char* recipient) {
  std::string project;
  try {
    char name[kAddressPartBuffer] = "", user[kAddressPartBuffer] = "",
         domain[kAddressPartBuffer] = "";
    BSCFEM_SplitEmailAddress(recipient ? recipient : "", name, user, domain);
    project = GetSpecialSMTPProject(domain);
    if (!project.empty()) return project;
  } catch (...) {
    return "";
  }
  try {
    if (sender == nullptr) throw std::invalid_argument("no sender");
    char name[kAddressPartBuffer] = "", user[kAddressPartBuffer] = "",
         domain[kAddressPartBuffer] = "";
    BSCFEM_SplitEmailAddress(sender, name, user, domain);
    project = GetSpecialSMTPProject(formatted("%s@%s", user, domain).c_str());
    return project.empty() ? kDefaultProject : project;
  } catch (...) {
    Report(
        "CMailQueue::GetSMTPServer",
        formatted("Catch excpetion while spliting email address %s.", sender ? sender : "(null)"));
    return project;
  }
}

int CDNSDevice::GetSMTPServerConfig(const char* serverProject, tagSTMPServer& route) {
  if (serverProject == nullptr || *serverProject == '\0') return 0;
  try {
    const char* file = m_sSettingFile.c_str();
    auto read = [&](const char* key) {
      char value[kValueBuffer] = "";
      platform::getPrivateProfileString(serverProject, key, "", value, sizeof value, file);
      return std::string(value);
    };
    const bool automatic = isYes(read("AUTOGETSMTPSERVER"));
    copyField(route.szSMTPServer, read("SMTPSERVER"));
    const long port = platform::leadingInteger(read("SMTPPORT"));
    route.nSMTPPort = port < 0 || port > 65535 ? 0 : static_cast<int>(port);
    route.bAuthCheck = isYes(read("AUTHCHECK")) ? 1 : 0;
    copyField(route.szAuthLoginName, read("AUTHLOGINNAME"));
    copyField(route.szAuthLoginPass, read("AUTHLOGINPASS"));
    copyField(route.szModiMailerFromBy, read("MODIMAILERFROMBY"));

    if (automatic && !BSCF_IsLegalEmailAddress(serverProject)) {
      // The exchanger must take the project's connection security, or the batch would fail there.
      CMailDeviceSetting projectSetting;
      projectSetting.LoadSetting("", file, serverProject);
      std::vector<std::string> dnsServers;
      SpliteServer(GetDNSServer(), dnsServers, kSeparator);
      for (const std::string& dnsServer : dnsServers) {
        std::vector<std::string> exchangers;
        SpliteServer(GetSmtpServerFromDNS(serverProject, dnsServer), exchangers, kSeparator);
        for (const std::string& exchanger : exchangers) {
          // A name the route cannot hold whole would send the mail to some other host.
          if (exchanger.size() >= sizeof route.szSMTPServer) continue;
          if (!IsLegalEcho(exchanger.c_str(), projectSetting.m_Security)) continue;
          copyField(route.szSMTPServer, exchanger);
          route.nSMTPPort = kSmtpPort;
          route.bAuthCheck = 0;
          return 1;
        }
      }
    }
  } catch (...) {
  }
  return route.nSMTPPort != 0 ? 1 : 0;
}

std::string CDNSDevice::GetDNSServer() {
  try {
    std::list<std::string> list;
    platform::ResolverConfig config;
    if (platform::readResolverConfig(config))
      for (const std::string& server : config.dnsServers) AddDomain(list, server.c_str());
    for (const std::string* value : {&config.domain, &config.dhcpDomain, &config.searchList}) {
      if (value->empty()) continue;
      std::string rest = lowerCase(*value);
      for (std::size_t comma = rest.find(','); comma != std::string::npos; comma = rest.find(',')) {
        AddDomain(list, rest.substr(0, comma).c_str());
        rest.erase(0, comma + 1);
      }
      AddDomain(list, rest.c_str());
    }
    std::string joined;
    BuildStringFromList(list, joined);
    return joined;
  } catch (...) {
    return "";
  }
}

std::string CDNSDevice::GetSmtpServerFromDNS(std::string domain, std::string dnsServer) {
  try {
    std::unique_ptr<IMXLookup> lookup = CreateMXLookup();
    lookup->SetSeparator(kSeparator);
    lookup->SetDNSServer(dnsServer);
    lookup->SetTimeout(m_dwLookupTimeout);
    std::string answer, failure;
    if (lookup->QueryMX(domain, answer, failure)) return answer;
  } catch (...) {
  }
  Report("CDNSDevice::GetSmtpServerFromDNS", "Catch excpetion while invoking Kestro com.");
  return "";
}

int CDNSDevice::IsLegalEcho(const char* host, const postwell::TlsSettings& security) {
  unsigned long error = 0;
  try {
    CMailDevice device;
    device.InitializeDevice("", "Check", nullptr, error);
    device.SetTimeout(m_dwLookupTimeout);
    device.SetSecurity(security);
    if (device.MailFunc_Connect(host, kSmtpPort, error)) {
      device.Disconnect();
      return 1;
    }
  } catch (...) {
  }
  Report("CDNSDevice::IsLegalEcho", formatted("Can not get legel echo from %s.(%d)",
                                              host ? host : "", static_cast<int>(error)));
  return 0;
}

std::string CDNSDevice::GetParentDomainName(const char* name) {
  const std::string text = name ? name : "";
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos) return "";
  std::string parent = text.substr(dot + 1);
  return parent.find('.') == std::string::npos ? "" : parent;
}

int CDNSDevice::AddDomain(std::list<std::string>& list, const char* name) {
  const std::string lowered = lowerCase(name ? name : "");
  auto listed = [&](const std::string& entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
  };
  if (!lowered.empty() && !listed(lowered)) {
    list.push_back(lowered);
    return 1;
  }
  const std::string parent = GetParentDomainName(lowered.c_str());
  if (!parent.empty() && !listed(parent)) {
    list.push_back(parent);
    return 1;
  }
  return 0;
}

void CDNSDevice::SpliteServer(std::string text, std::vector<std::string>& out,
                              std::string separator) {
  out.clear();
  if (!separator.empty()) {
    for (std::size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator)) {
      std::string piece = text.substr(0, at);
      text.erase(0, at + separator.size());
      if (!piece.empty()) out.push_back(piece);
    }
  }
  out.push_back(text);
}

int CDNSDevice::BuildStringFromList(std::list<std::string>& list, std::string& out) {
  out.clear();
  bool first = true;
  for (const std::string& entry : list) {
    if (!first) out += ',';
    out += entry;
    first = false;
  }
  return list.empty() ? 0 : 1;
}
