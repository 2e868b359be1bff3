#pragma once

#include <list>
#include <string>
#include <vector>

#include "postwell/connection_security.h"
#include "postwell/device_exception.h"
#include "postwell/export.h"

// One SMTP route: the host and port to send to, the login, and a replacement envelope sender.
struct tagSTMPServer {
  char szSMTPServer[128];
  int nSMTPPort;
  int bAuthCheck;
  char szAuthLoginName[128];
  char szAuthLoginPass[128];
  char szModiMailerFromBy[128];
};

// Decides how mail leaves: which server project of the setting file applies to a sender and a
// recipient (section "SPECIAL DOMAIN" maps recipient domains and whole sender addresses to project
// names, "Default Server" otherwise), what route a project holds, and, for a project that asks for
// automatic lookup, which mail exchanger of the domain answers SMTP on port 25.
//
// The setting file of a project section: AUTOGETSMTPSERVER ("YES" in any case), SMTPSERVER,
// SMTPPORT, AUTHCHECK ("YES"), AUTHLOGINNAME, AUTHLOGINPASS, MODIMAILERFROMBY; SECURITY, TLSCAFILE
// and TLSPINSHA256 as the sending device reads them, which the echo test of an exchanger follows.
//
// Failures are reported to the exception sink set by Initialize; nothing is thrown. A derived
// resolver may replace the discovery of DNS servers, the exchanger lookup or the route reading.
class POSTWELL_API CDNSDevice {
 public:
  CDNSDevice();
  CDNSDevice(const CDNSDevice& other);
  CDNSDevice& operator=(const CDNSDevice& other);
  virtual ~CDNSDevice();

  // The name of the server project for the pair.
  virtual std::string GetSMTPServerProject(const char* sender, const char* recipient);
  // The host's DNS servers, then its domain and search domains, lower case and comma-separated;
  // a name met a second time adds its parent domain instead.
  virtual std::string GetDNSServer();
  // The mail exchangers of the domain as the DNS server ("host" or "host:port") gives them,
  // comma-separated in order of preference; empty when there are none or the lookup failed.
  virtual std::string GetSmtpServerFromDNS(std::string domain, std::string dnsServer);
  // Stores the sink (may be null) and the setting file; reads nothing.
  virtual void Initialize(IDeviceException* sink, const char* settingFile);
  // Fills the route from the project's section; with automatic lookup, and a project name that is
  // not a mail address, the first exchanger of the domain named by the project that answers on
  // port 25 replaces the host, with port 25 and no authentication. Non-zero when the port is.
  // An empty name returns 0 and leaves the route as it was.
  virtual int GetSMTPServerConfig(const char* serverProject, tagSTMPServer& route);

  // How long one exchanger lookup and one echo test may take (milliseconds; 60,000 at first).
  void SetLookupTimeout(unsigned long milliseconds) { m_dwLookupTimeout = milliseconds; }
  unsigned long GetLookupTimeout() const { return m_dwLookupTimeout; }

 protected:
  std::string GetSpecialSMTPProject(const char* key);
  // 1 when an SMTP session with the host on port 25 opens (greeting and HELO answered), secured
  // as `security` asks (STARTTLS offered and the handshake passed, or TLS from the first byte).
  int IsLegalEcho(const char* host, const postwell::TlsSettings& security = {});
  // The text after the first "." when that still holds a "."; else empty.
  std::string GetParentDomainName(const char* name);
  // Appends the name in lower case, or, when it is empty or listed already, its parent domain when
  // that is not listed yet. 1 when something was appended.
  int AddDomain(std::list<std::string>& list, const char* name);
  // The non-empty pieces before each separator, then the rest even when it is empty.
  void SpliteServer(std::string text, std::vector<std::string>& out, std::string separator);
  // The entries joined by ","; 1 when there was at least one.
  int BuildStringFromList(std::list<std::string>& list, std::string& out);

  // Zeroes a record, fills it and hands it to the sink, when there is one.
  void Report(const char* source, const std::string& text);

  IDeviceException* m_pException;
  std::string m_sSettingFile;
  std::string m_sDNSServer1;
  std::string m_sDNSServer2;
  unsigned long m_dwLookupTimeout;
};
