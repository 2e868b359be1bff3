// The sending thread: one batch of missions through one SMTP session, on the route of the device's
// setting, each mission reported as it starts, while its content goes out and when it ends.
#include <ctime>
#include <exception>
#include <new>

#include "codec/base64.h"
#include "platform/last_error.h"
#include "postwell/mail_device.h"
#include "text_format/formatted.h"

using text_format::formatted;

namespace {

constexpr unsigned long kInternalError = 1359;

const char kConnecting[] = "正在连接";

std::int64_t now() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::uint32_t timeoutMs(int seconds) {
  if (seconds <= 0) return 0;
  const std::uint64_t ms = static_cast<std::uint64_t>(seconds) * 1000;
  return ms > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(ms);
}

}  // namespace

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
    code = platform::err::kNotEnoughMemory;
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
