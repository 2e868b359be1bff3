#include "postwell/mail_mission.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/file_attributes.h"

namespace {

template <std::size_t N>
void setText(char (&field)[N], const char* value) {
  std::strncpy(field, value ? value : "", N - 1);
}

}  // namespace

CMailMission::CMailMission()
    : m_szMailFrom{},
      m_szMailTo{},
      m_szSubject{},
      m_szMailBody{},
      m_nMailSize(0),
      m_szMissionID{},
      m_nMissionType(0),
      m_szSMTPServerProject{},
      m_tmRequest(0),
      m_tmDelivery(0),
      m_nState(0) {}

CMailMission::CMailMission(const CMailMission& other) = default;
CMailMission& CMailMission::operator=(const CMailMission& other) = default;
CMailMission::~CMailMission() = default;

char* CMailMission::GetMailFrom() { return m_szMailFrom; }
char* CMailMission::GetMailTo() { return m_szMailTo; }
char* CMailMission::GetSubject() { return m_szSubject; }
char* CMailMission::GetMailBody() { return m_szMailBody; }

long CMailMission::GetMailSize() {
  if (m_nMailSize > 0) return m_nMailSize;
  const char* path = GetMailBody();
  if (path == nullptr || path[0] == '\0') return 0;
  const std::optional<std::uint64_t> size = platform::regularFileSize(path);
  if (!size) return 0;
  m_nMailSize = static_cast<long>(static_cast<std::uint32_t>(*size));
  return m_nMailSize;
}

char* CMailMission::GetMissionID() { return m_szMissionID; }
void CMailMission::SetMissionID(const char* missionId) { setText(m_szMissionID, missionId); }
void CMailMission::SetMissionType(unsigned type) { m_nMissionType = type; }
int CMailMission::IsToLocalMailBox() { return m_nMissionType == 1 ? 1 : 0; }
char* CMailMission::GetSMTPServerProject() { return m_szSMTPServerProject; }
void CMailMission::SetSMTPServerProject(const char* project) {
  setText(m_szSMTPServerProject, project);
}
long CMailMission::GetRequestTime() { return m_tmRequest; }
long CMailMission::GetDeliveryTime() { return m_tmDelivery; }
unsigned CMailMission::GetStatue() { return m_nState; }
void CMailMission::SetStatue(unsigned state) { m_nState = state; }
void CMailMission::SetMailFrom(const char* from) { setText(m_szMailFrom, from); }
void CMailMission::SetMailTo(const char* to) { setText(m_szMailTo, to); }
void CMailMission::SetMailSubject(const char* subject) { setText(m_szSubject, subject); }
void CMailMission::SetMailBody(const char* dataFile) { setText(m_szMailBody, dataFile); }
void CMailMission::SetRequestTime(long requestTime) { m_tmRequest = requestTime; }
