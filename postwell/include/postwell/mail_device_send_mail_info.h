#pragma once

#include <cstdint>
#include <string>

#include "postwell/export.h"

// One send mission: who sends what to whom, and how its delivery went. It is loaded from and saved
// to section "Normal" of a small INI file, and it is the progress record the SMTP session updates
// while it sends the content.
class POSTWELL_API CMailDevice_SendMailInfo {
 public:
  enum State { kWaiting = 0, kSending = 1, kFailed = 2, kSent = 3, kTransferring = 5 };

  CMailDevice_SendMailInfo();
  virtual ~CMailDevice_SendMailInfo();

  // 1 when "MailFrom", "RcptTo" and "DataFile" are present; else 0 with error 4864, 4865 or 4866,
  // the fields read so far kept.
  int LoadInfoFromDisk(const char* infoFile, unsigned long& error);
  void SaveInfoToDisk();

  char m_szMailFrom[255];
  char m_szRcptTo[255];
  char m_szDataFile[260];
  char m_szInfoFile[260];
  // Seconds since 1970.
  std::int64_t m_tmLastDelivery;
  std::int64_t m_tmRequest;
  std::int64_t m_tmDelivered;
  char m_szSubject[255];
  char m_szMissionID[255];
  std::int32_t m_nSize;
  std::int32_t m_nState;
  std::int32_t m_nPercent;
  std::uint32_t m_dwError;
  std::string m_sError;
};
