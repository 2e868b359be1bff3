// Missions held in memory.
#include "postwell/mail_mission.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "temp_dir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

TEST(MailMission, SizeIsReadOnceTheFileExistsAndThenKept) {
  TempDir dir;
  CMailMission mission;
  mission.SetMailBody(dir.file("message.eml").c_str());
  EXPECT_EQ(mission.GetMailSize(), 0);
  writeFile(dir.file("message.eml"), std::string(1234, 'x'));
  EXPECT_EQ(mission.GetMailSize(), 1234);
  writeFile(dir.file("message.eml"), std::string(5000, 'x'));
  EXPECT_EQ(mission.GetMailSize(), 1234);
  CMailMission copy(mission);
  copy.SetMailBody(dir.file("other.eml").c_str());
  EXPECT_EQ(copy.GetMailSize(), 1234);
}

TEST(MailMission, TextsAreCutToTheirFieldsAndStayTerminated) {
  struct Case {
    void (CMailMission::*set)(const char*);
    char* (CMailMission::*get)();
    std::size_t keeps;
  };
  const Case cases[] = {
      {&CMailMission::SetMailFrom, &CMailMission::GetMailFrom, 254},
      {&CMailMission::SetMailTo, &CMailMission::GetMailTo, 254},
      {&CMailMission::SetMailSubject, &CMailMission::GetSubject, 254},
      {&CMailMission::SetMailBody, &CMailMission::GetMailBody, 259},
      {&CMailMission::SetMissionID, &CMailMission::GetMissionID, 63},
      {&CMailMission::SetSMTPServerProject, &CMailMission::GetSMTPServerProject, 254},
  };
  for (const Case& c : cases) {
    CMailMission mission;
    (mission.*c.set)(std::string(300, 'a').c_str());
    EXPECT_EQ(std::strlen((mission.*c.get)()), c.keeps);
    (mission.*c.set)("short");
    EXPECT_STREQ((mission.*c.get)(), "short");
    (mission.*c.set)(nullptr);
    EXPECT_STREQ((mission.*c.get)(), "");
  }
}

TEST(MailMission, TypeStateAndTimes) {
  CMailMission mission;
  EXPECT_EQ(mission.IsToLocalMailBox(), 0);
  EXPECT_EQ(mission.GetStatue(), 0u);
  EXPECT_EQ(mission.GetDeliveryTime(), 0);
  for (unsigned type : {1u, 2u, 0u}) {
    mission.SetMissionType(type);
    EXPECT_EQ(mission.IsToLocalMailBox(), type == 1 ? 1 : 0);
  }
  mission.SetStatue(1);
  mission.SetRequestTime(1700000000);
  CMailMission assigned;
  assigned = mission;
  EXPECT_EQ(assigned.GetStatue(), 1u);
  EXPECT_EQ(assigned.GetRequestTime(), 1700000000);
}

}  // namespace
