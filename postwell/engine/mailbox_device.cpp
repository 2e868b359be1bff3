#include "postwell/mailbox_device.h"

#include <string>
#include <strings.h>

#include "engine/device_state.h"
#include "platform/profile.h"

namespace {

constexpr unsigned kMailBoxStatusMessage = 1288;
const char kSection[] = "Default";
constexpr int kDefaultPort = 110;
constexpr std::uint32_t kDefaultTimeoutMs = 10000;

}  // namespace

CMailBoxDevice::CMailBoxDevice()
    : m_bStarted(0),
      m_bOccupied(0),
      m_hOwnerWnd(nullptr),
      m_dwRunTimeout(0),
      m_nRunPort(0),
      m_bClearOTMail(0) {
  m_hDebugWnd = nullptr;
  m_bDebug = 0;
}

// Quits while the device can still announce it.
CMailBoxDevice::~CMailBoxDevice() {
  if (m_bConnected) Disconnect();
}

int CMailBoxDevice::InitializeDevice(const char* settingFile, const char* name, IDeviceOwner* owner,
                                     unsigned long& error) {
  m_sDeviceName = name ? name : "";
  m_hOwnerWnd = owner;
  m_sSettingFile = settingFile ? settingFile : "";
  LoadRunParam();
  return 1;
}

void CMailBoxDevice::LoadRunParam() {
  const char* file = m_sSettingFile.c_str();
  m_nRunPort = platform::getPrivateProfileInt(kSection, "PORT", 0, file);
  if (m_nRunPort == 0) m_nRunPort = kDefaultPort;
  m_dwRunTimeout = static_cast<std::uint32_t>(platform::getPrivateProfileInt(kSection, "TIMEOUT", 0, file));
  if (m_dwRunTimeout == 0) m_dwRunTimeout = kDefaultTimeoutMs;
  const std::string clear = platform::getPrivateProfileString(kSection, "CLEAROTMAIL", "", file);
  m_bClearOTMail = ::strcasecmp(clear.c_str(), "YES") == 0 ? 1 : 0;
}

void CMailBoxDevice::SaveRunParam() {
  const char* file = m_sSettingFile.c_str();
  platform::writePrivateProfileString(kSection, "PORT", std::to_string(m_nRunPort).c_str(), file);
  platform::writePrivateProfileString(kSection, "TIMEOUT", std::to_string(m_dwRunTimeout).c_str(), file);
  platform::writePrivateProfileString(kSection, "CLEAROTMAIL", m_bClearOTMail ? "YES" : "NO", file);
}

void CMailBoxDevice::StartDevice() { SetDeviceStatus(postwell::DeviceState(m_bStarted, m_bOccupied).Start()); }

void CMailBoxDevice::StopDevice() { SetDeviceStatus(postwell::DeviceState(m_bStarted, m_bOccupied).Stop()); }

int CMailBoxDevice::OccupyDevice() {
  const char* status = postwell::DeviceState(m_bStarted, m_bOccupied).Occupy();
  if (status == nullptr) return 0;
  SetDeviceStatus(status);
  return 1;
}

void CMailBoxDevice::SetIdle() { SetDeviceStatus(postwell::DeviceState(m_bStarted, m_bOccupied).SetIdle()); }

const char* CMailBoxDevice::GetDeviceStatus() { return m_sDeviceStatus.c_str(); }

const char* CMailBoxDevice::GetDeviceName() { return m_sDeviceName.c_str(); }

void CMailBoxDevice::SetDeviceStatus(const char* status) {
  postwell::showDeviceStatus(m_sDeviceStatus, status, m_hOwnerWnd, kMailBoxStatusMessage, this);
}

void CMailBoxDevice::MailBoxFuncD_SetDebugHWND(DebugWindow window) { m_hDebugWnd = window; }

void CMailBoxDevice::MailBoxFuncD_SetDebugFlag(int debug, const char* path) {
  postwell::setDebugFile(m_szDebugFile, m_bDebug, debug, path);
}
