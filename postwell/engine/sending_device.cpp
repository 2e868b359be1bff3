// The SMTP device run as a sending device: its status, its life cycle, its mission queue, and
// starting and aborting the batch that the sending thread (send_batch.cpp) delivers.
#include <chrono>
#include <new>

#include "engine/device_state.h"
#include "platform/last_error.h"
#include "platform/sync.h"
#include "postwell/mail_device.h"

namespace {

constexpr unsigned kStatusMessage = 1286;
constexpr unsigned long kNoMissionQueued = 4880;
constexpr unsigned long kBusy = 170;
constexpr auto kAbortWait = std::chrono::milliseconds(5000);
constexpr std::size_t kAddressPartBuffer = 1024;

}  // namespace

const char* CMailDevice::GetDeviceStatus() { return m_sDeviceStatus.c_str(); }

const char* CMailDevice::GetDeviceName() { return m_sDeviceName.c_str(); }

void CMailDevice::SetDeviceStatus(const char* text) {
  postwell::showDeviceStatus(m_sDeviceStatus, text, m_hOwnerWnd, kStatusMessage, this);
}

void CMailDevice::MailFuncD_SetDebugHWND(DebugWindow window) { m_hDebugWnd = window; }

void CMailDevice::MailFuncD_SetDebugFlag(int debug, const char* path) {
  postwell::setDebugFile(m_szDebugFile, m_bDebug, debug, path);
}

int CMailDevice::InitializeDevice(const char* settingFile, const char* name, IDeviceOwner* owner,
                                  unsigned long& /*error*/) {
  m_sSettingFile = settingFile ? settingFile : "";
  m_sDeviceName = name ? name : "";
  m_hOwnerWnd = owner;
  return 1;
}

void CMailDevice::StartDevice() {
  const char* status;
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    status = postwell::DeviceState(m_bStarted, m_bOccupied).Start();
  }
  SetDeviceStatus(status);
}

void CMailDevice::StopDevice() {
  const char* status;
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    status = postwell::DeviceState(m_bStarted, m_bOccupied).Stop();
  }
  SetDeviceStatus(status);
}

int CMailDevice::OccupyDevice() {
  const char* status;
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    status = postwell::DeviceState(m_bStarted, m_bOccupied).Occupy();
  }
  if (status == nullptr) return 0;
  SetDeviceStatus(status);
  return 1;
}

// The sending thread is not cleared here: it may be the caller. It is joined when the next batch
// starts and when the device is destroyed.
void CMailDevice::SetIdle() {
  const char* status;
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    m_bAborting = 0;
    status = postwell::DeviceState(m_bStarted, m_bOccupied).SetIdle();
  }
  m_evIdle->set();
  SetDeviceStatus(status);
}

void CMailDevice::AddSendMissionToQueue(CMailDevice_SendMailInfo* mission) {
  if (mission == nullptr) return;
  std::lock_guard<std::mutex> guard(m_missionLock);
  try {
    m_arrSendMission.push_back(mission);
  } catch (const std::bad_alloc&) {
  }
}

bool CMailDevice::JoinSendThread() {
  if (!m_hSendThread.joinable()) return true;
  if (m_hSendThread.get_id() == std::this_thread::get_id()) return false;
  m_hSendThread.join();
  return true;
}

int CMailDevice::StartUpSendProcess(unsigned long& error) {
  try {
    if (!JoinSendThread()) {
      error = kBusy;
      return 0;
    }
    char domain[kAddressPartBuffer] = "";
    {
      std::lock_guard<std::mutex> guard(m_missionLock);
      if (m_arrSendMission.empty()) {
        error = kNoMissionQueued;
        return 0;
      }
      BSCFEM_GetHostName(m_arrSendMission.front()->m_szRcptTo, domain);
    }
    const std::string section = !m_sSettingSection.empty()
                                    ? m_sSettingSection
                                    : m_Setting.GetSettingSecFlag(domain, m_sSettingFile.c_str());
    m_Setting.LoadSetting(m_sDeviceName.c_str(), m_sSettingFile.c_str(), section.c_str());
    std::lock_guard<std::mutex> guard(m_missionLock);
    m_bAborting = 0;
    m_bBatchAbandoned = false;
    m_bSendThreadRunning = true;
    try {
      // The thread starts only once its handle is stored: an owner called back from it may start
      // or abort a batch, and must see that it is on the sending thread.
      m_hSendThread = std::thread([this] {
        { std::lock_guard<std::mutex> stored(m_missionLock); }
        SendThreadMain();
      });
    } catch (...) {
      m_bSendThreadRunning = false;
      throw;
    }
    return 1;
  } catch (...) {
    error = platform::err::kNotEnoughMemory;
    return 0;
  }
}

void CMailDevice::Abort(std::vector<CMailDevice_SendMailInfo*>* out) {
  try {
    std::vector<CMailDevice_SendMailInfo*> waiting;
    {
      std::unique_lock<std::mutex> lock(m_missionLock);
      if (m_bAborting) return;
      m_bAborting = 1;
      const bool onSendThread =
          m_hSendThread.joinable() && m_hSendThread.get_id() == std::this_thread::get_id();
      if (!onSendThread)
        m_sendThreadEnded.wait_for(lock, kAbortWait, [this] { return !m_bSendThreadRunning; });
      // With nowhere to hand them, the missions stay queued rather than vanish.
      if (out != nullptr) {
        out->reserve(out->size() + m_arrSendMission.size());
        waiting.swap(m_arrSendMission);
      }
      // The batch ends its current mission on its own; this Abort makes the device idle.
      if (m_bSendThreadRunning) m_bBatchAbandoned = true;
    }
    if (out != nullptr) out->insert(out->end(), waiting.begin(), waiting.end());
    SetIdle();
  } catch (...) {
  }
}

