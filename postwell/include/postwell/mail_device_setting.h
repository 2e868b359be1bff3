#pragma once

#include <string>

#include "postwell/connection_security.h"
#include "postwell/export.h"
#include "postwell/setting_ini.h"

// The route settings of a sending device, read from one section of its setting file: automatic
// lookup of the SMTP host through two DNS servers, or a fixed host and port; authentication; a
// replacement envelope sender; the session timeout.
class POSTWELL_API CMailDeviceSetting : public CSetting_Ini {
 public:
  CMailDeviceSetting();
  ~CMailDeviceSetting() override;

  // Reads the section (null: "Default") of the setting file and remembers the file. The device name
  // is not used.
  virtual void LoadSetting(const char* deviceName, const char* settingFile, const char* section);
  // Writes to section "Default" of the remembered file; the timeout is not written.
  virtual void SaveSetting();
  // The domain's entry in section "Special Domain", or "Default" when it has none.
  virtual std::string GetSettingSecFlag(const char* domain, const char* settingFile);

  int m_bAutoGetSMTPServer;
  std::string m_sDNSServer1;
  std::string m_sDNSServer2;
  std::string m_sSMTPServer;
  int m_nSMTPPort;
  int m_bAuthCheck;
  std::string m_sAuthLoginName;
  std::string m_sAuthLoginPass;
  std::string m_sModiMailerFromBy;
  // Seconds.
  int m_nTimeout;
  // SECURITY (none, starttls, tls; an unknown value counts as starttls, which never sends the login
  // in clear), TLSCAFILE, TLSPINSHA256. Without the keys: none, as ever.
  postwell::TlsSettings m_Security;
  std::string m_sSettingFile;
};
