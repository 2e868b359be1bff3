#pragma once

#include <cstdint>
#include <string>

#include "postwell/device_owner.h"
#include "postwell/export.h"
#include "postwell/pop3_connection.h"

// A POP3 mailbox device: a POP3 session with a name, a status that is pushed to the owner (message
// 1288, wParam 512, lParam the device), started and occupied flags, and run parameters kept in
// section "Default" of a setting file for the host ("PORT", "TIMEOUT", "CLEAROTMAIL"). The device
// does not apply the run parameters to the session.
class POSTWELL_API CMailBoxDevice : public CPop3Connection {
 public:
  CMailBoxDevice();
  ~CMailBoxDevice() override;

  // Stores the three and loads the run parameters; error is not used. Returns 1.
  virtual int InitializeDevice(const char* settingFile, const char* name, IDeviceOwner* owner,
                               unsigned long& error);
  virtual void StartDevice();
  virtual void StopDevice();
  // 0 when not started or already occupied.
  virtual int OccupyDevice();
  virtual void SetIdle();
  virtual const char* GetDeviceStatus();
  virtual const char* GetDeviceName();
  virtual void SaveRunParam();
  virtual void MailBoxFuncD_SetDebugHWND(DebugWindow window);
  // Copies the path (at most 259 characters) as the session's debug log and sets its debug flag.
  virtual void MailBoxFuncD_SetDebugFlag(int debug, const char* path);

  void SetDeviceStatus(const char* status) override;

  std::string m_sDeviceName;
  std::string m_sDeviceStatus;
  std::string m_sSettingFile;
  int m_bStarted;
  int m_bOccupied;
  IDeviceOwner* m_hOwnerWnd;
  std::uint32_t m_dwRunTimeout;
  int m_nRunPort;
  int m_bClearOTMail;

 protected:
  void LoadRunParam();
};
