#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "groundkit/groundkit.h"
#include "platform/profile.h"
#include "postwell/mail_device_send_mail_info.h"

namespace {

const char kSection[] = "Normal";
constexpr unsigned long kValueBuffer = 255;
constexpr unsigned long kMissingMailFrom = 4864;
constexpr unsigned long kMissingRcptTo = 4865;
constexpr unsigned long kMissingDataFile = 4866;

template <std::size_t N>
void copyText(char (&field)[N], const std::string& text) {
  const std::size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

std::string bareAddress(const std::string& address) {
  std::vector<char> bare(address.size() + 3, '\0');
  BSCFEM_2SimpleEmailAddress(address.c_str(), bare.data());
  return bare.data();
}

// Times are stored as their low 32 bits and read back with sign extension.
std::string timeText(std::int64_t time) { return std::to_string(static_cast<std::int32_t>(time)); }
std::int64_t timeValue(const std::string& text) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(platform::leadingInteger(text)));
}

}  // namespace

CMailDevice_SendMailInfo::CMailDevice_SendMailInfo()
    : m_szMailFrom(),
      m_szRcptTo(),
      m_szDataFile(),
      m_szInfoFile(),
      m_tmLastDelivery(0),
      m_tmRequest(0),
      m_tmDelivered(0),
      m_szSubject(),
      m_szMissionID(),
      m_nSize(0),
      m_nState(kWaiting),
      m_nPercent(0),
      m_dwError(0) {}

CMailDevice_SendMailInfo::~CMailDevice_SendMailInfo() = default;

int CMailDevice_SendMailInfo::LoadInfoFromDisk(const char* infoFile, unsigned long& error) {
  copyText(m_szInfoFile, infoFile ? infoFile : "");
  auto read = [&](const char* key, unsigned long size = kValueBuffer) {
    std::vector<char> value(size, '\0');
    platform::getPrivateProfileString(kSection, key, "", value.data(), size, m_szInfoFile);
    return std::string(value.data());
  };

  copyText(m_szMissionID, read("MissionID"));
  const std::string from = read("MailFrom");
  if (from.empty()) {
    error = kMissingMailFrom;
    return 0;
  }
  copyText(m_szMailFrom, bareAddress(from));
  const std::string to = read("RcptTo");
  if (to.empty()) {
    error = kMissingRcptTo;
    return 0;
  }
  copyText(m_szRcptTo, bareAddress(to));
  copyText(m_szDataFile, read("DataFile", sizeof m_szDataFile));
  if (m_szDataFile[0] == '\0') {
    error = kMissingDataFile;
    return 0;
  }
  m_tmLastDelivery = timeValue(read("Last Delieve Time"));
  copyText(m_szSubject, read("Subject"));
  m_nSize = static_cast<std::int32_t>(platform::leadingInteger(read("Size")));
  m_tmRequest = timeValue(read("Request Time"));
  return 1;
}

void CMailDevice_SendMailInfo::SaveInfoToDisk() {
  auto write = [&](const char* key, const std::string& value) {
    platform::writePrivateProfileString(kSection, key, value.c_str(), m_szInfoFile);
  };
  write("MissionID", m_szMissionID);
  write("MailFrom", m_szMailFrom);
  write("RcptTo", m_szRcptTo);
  write("DataFile", m_szDataFile);
  write("Last Delieve Time", timeText(m_tmLastDelivery));
  write("Subject", m_szSubject);
  write("Size", std::to_string(m_nSize));
  write("Request Time", timeText(m_tmRequest));
}
