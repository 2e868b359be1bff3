// The SMTP device run as a sending device: its states, its mission queue and the sending thread
// that delivers a batch of missions through one session.
#include <chrono>
#include <ctime>
#include <exception>
#include <new>

#include "codec/base64.h"
#include "platform/sync.h"
#include "postwell/mail_device.h"
#include "text_format/formatted.h"

using text_format::formatted;

namespace {

constexpr unsigned long kNoMissionQueued = 4880;
constexpr unsigned long kNotEnoughMemory = 8;
constexpr unsigned long kBusy = 170;
constexpr unsigned long kInternalError = 1359;
constexpr auto kAbortWait = std::chrono::milliseconds(5000);
constexpr std::size_t kAddressPartBuffer = 1024;

const char kIdle[] = "空闲";
const char kOccupied[] = "占用";
const char kClosed[] = "关闭";
const char kConnecting[] = "正在连接";

std::int64_t now() { return static_cast<std::int64_t>(std::time(nullptr)); }


std::uint32_t timeoutMs(int seconds) {
  if (seconds <= 0) return 0;
  const std::uint64_t ms = static_cast<std::uint64_t>(seconds) * 1000;
  return ms > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(ms);
}

}  // namespace

int CMailDevice::InitializeDevice(const char* settingFile, const char* name, IDeviceOwner* owner,
                                  unsigned long& /*error*/) {
  m_sSettingFile = settingFile ? settingFile : "";
  m_sDeviceName = name ? name : "";
  m_hOwnerWnd = owner;
  return 1;
}

void CMailDevice::StartDevice() {
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    m_bStarted = 1;
  }
  SetDeviceStatus(kIdle);
}

void CMailDevice::StopDevice() {
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    m_bStarted = 0;
  }
  SetDeviceStatus(kClosed);
}

int CMailDevice::OccupyDevice() {
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    if (!m_bStarted || m_bOccupied) return 0;
    m_bOccupied = 1;
  }
  SetDeviceStatus(kOccupied);
  return 1;
}

// The sending thread is not cleared here: it may be the caller. It is joined when the next batch
// starts and when the device is destroyed.
void CMailDevice::SetIdle() {
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    m_bAborting = 0;
    m_bOccupied = 0;
  }
  m_evIdle->set();
  SetDeviceStatus(kIdle);
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
    error = kNotEnoughMemory;
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

CMailDevice_SendMailInfo* CMailDevice::TakeMission() {
  std::lock_guard<std::mutex> guard(m_missionLock);
  if (m_arrSendMission.empty()) return nullptr;
  CMailDevice_SendMailInfo* mission = m_arrSendMission.front();
  m_arrSendMission.erase(m_arrSendMission.begin());
  return mission;
}

void CMailDevice::EndMission(CMailDevice_SendMailInfo* mission, int state, unsigned long code,
                             const std::string& reason) {
  mission->m_dwError = static_cast<std::uint32_t>(code);
  mission->m_sError = reason;
  mission->m_nState = state;
  NotifyProgress(mission);
}

void CMailDevice::SendThreadMain() {
  CMailDevice_SendMailInfo* inHand = nullptr;
  unsigned long code = 0;
  std::string reason;
  try {
    SendBatch(inHand);
  } catch (const std::bad_alloc&) {
    code = kNotEnoughMemory;
    reason = "Not enough memory to send the mail.";
  } catch (const std::exception& e) {
    code = kInternalError;
    reason = formatted("Failed while sending the mail: %s", e.what());
  } catch (...) {
    code = kInternalError;
    reason = "Failed while sending the mail.";
  }
  if (code != 0) {
    // Every mission not yet reported fails with the reason; the session is not trusted any more.
    AbortConnection();
    for (CMailDevice_SendMailInfo* mission = inHand; mission != nullptr; mission = TakeMission()) {
      try {
        mission->m_tmLastDelivery = now();
        EndMission(mission, CMailDevice_SendMailInfo::kFailed, code, reason);
      } catch (...) {
      }
    }
  }
  bool abandoned;
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    abandoned = m_bBatchAbandoned;
  }
  if (!abandoned) {
    try {
      SetIdle();
    } catch (...) {
    }
  }
  {
    std::lock_guard<std::mutex> guard(m_missionLock);
    m_bSendThreadRunning = false;
  }
  m_sendThreadEnded.notify_all();
}

void CMailDevice::SendBatch(CMailDevice_SendMailInfo*& inHand) {
  m_dwTimeout = timeoutMs(m_Setting.m_nTimeout);

  std::string server = m_Setting.m_sSMTPServer;
  int port = m_Setting.m_nSMTPPort;
  if (m_Setting.m_bAutoGetSMTPServer) {
    std::string recipient;
    {
      std::lock_guard<std::mutex> guard(m_missionLock);
      if (!m_arrSendMission.empty()) recipient = m_arrSendMission.front()->m_szRcptTo;
    }
    std::vector<std::string> exchangers;
    if (!recipient.empty()) MailFunc_GetSmtpServerByDNS(recipient, exchangers);
    if (!exchangers.empty() && !exchangers.front().empty()) {
      server = exchangers.front();
      port = 25;
    }
  }
  SetDeviceStatus(formatted("%s %s:%d ...", kConnecting, server.c_str(), port).c_str());

  unsigned long error = 0;
  int connected;
  if (m_Setting.m_bAuthCheck)
    connected =
        MailFunc_ConnectESMTP(server.c_str(), codec::base64OneLine(m_Setting.m_sAuthLoginName).c_str(),
                              codec::base64OneLine(m_Setting.m_sAuthLoginPass).c_str(), port, error);
  else
    connected = MailFunc_Connect(server.c_str(), port, error);

  if (!connected) {
    SetDeviceStatus(formatted("连接 %s:%d 失败", server.c_str(), port).c_str());
    const std::string description = GetLastErrorDescription();
    while ((inHand = TakeMission()) != nullptr) {
      inHand->m_tmLastDelivery = now();
      CMailDevice_SendMailInfo* mission = inHand;
      inHand = nullptr;
      EndMission(mission, CMailDevice_SendMailInfo::kFailed, error, description);
    }
    return;
  }

  const std::string& replacementSender = m_Setting.m_sModiMailerFromBy;
  while ((inHand = TakeMission()) != nullptr) {
    CMailDevice_SendMailInfo& mission = *inHand;
    mission.m_tmLastDelivery = now();
    mission.m_nState = CMailDevice_SendMailInfo::kSending;
    NotifyProgress(&mission);

    CSMTPMessage message;
    message.m_From = CSMTPAddress(replacementSender.empty() ? std::string(mission.m_szMailFrom)
                                                            : replacementSender);
    message.m_sContentFile = mission.m_szDataFile;
    message.m_Recipient1 = CSMTPAddress(std::string(mission.m_szRcptTo));
    message.m_pProgress = &mission;
    unsigned long sendError = 0;
    if (MailFunc_SendMailMessage(message, sendError)) {
      mission.m_tmDelivered = now();
      mission.m_nState = CMailDevice_SendMailInfo::kSent;
    } else {
      mission.m_dwError = static_cast<std::uint32_t>(sendError);
      mission.m_sError = GetLastErrorDescription();
      mission.m_nState = CMailDevice_SendMailInfo::kFailed;
    }
    inHand = nullptr;
    NotifyProgress(&mission);
  }
  Disconnect();
}
