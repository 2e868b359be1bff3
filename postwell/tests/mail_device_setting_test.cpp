// The device settings and the send mission record, read from and written to their INI files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/profile.h"
#include "postwell/mail_device_send_mail_info.h"
#include "postwell/mail_device_setting.h"
#include "temp_dir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

TEST(MailDeviceSetting, LoadsTheSectionWithDefaultsForBadValues) {
  TempDir dir;
  const std::string file = dir.file("device.ini");
  writeFile(file,
            "[Default]\nSMTPSERVER=default.test\n"
            "[Route]\nAUTOGETSMTPSERVER=yes\nDNSSERVER1=127.0.0.1:5300\nDNSSERVER2=10.0.0.1\n"
            "SMTPSERVER=mx.test\nSMTPPORT=2525\nAUTHCHECK=Y\nAUTHLOGINNAME=alice\nAUTHLOGINPASS=secret\n"
            "MODIMAILERFROMBY=bounce@test\nTIMEOUT=45\n");
  CMailDeviceSetting setting;
  setting.LoadSetting("device", file.c_str(), "Route");
  EXPECT_EQ(setting.m_bAutoGetSMTPServer, 1);
  EXPECT_EQ(setting.m_sDNSServer1, "127.0.0.1:5300");
  EXPECT_EQ(setting.m_sDNSServer2, "10.0.0.1");
  EXPECT_EQ(setting.m_sSMTPServer, "mx.test");
  EXPECT_EQ(setting.m_nSMTPPort, 2525);
  EXPECT_EQ(setting.m_bAuthCheck, 0);
  EXPECT_EQ(setting.m_sAuthLoginName, "alice");
  EXPECT_EQ(setting.m_sAuthLoginPass, "secret");
  EXPECT_EQ(setting.m_sModiMailerFromBy, "bounce@test");
  EXPECT_EQ(setting.m_nTimeout, 45);

  setting.LoadSetting("device", file.c_str(), nullptr);
  EXPECT_EQ(setting.m_sSMTPServer, "default.test");
  EXPECT_EQ(setting.m_nSMTPPort, 25);
  EXPECT_EQ(setting.m_nTimeout, 30);
}

// Files without the TLS keys read as plain and are saved without them; the keys, once there, are
// read and written back; an unknown SECURITY value never means plain text.
TEST(MailDeviceSetting, SecurityKeys) {
  struct {
    const char* keys;
    postwell::ConnectionSecurity mode;
    const char* saved;  // SECURITY after SaveSetting; null: not written
  } cases[] = {{"", postwell::ConnectionSecurity::None, nullptr},
               {"SECURITY=tls\nTLSCAFILE=/etc/ca.pem\nTLSPINSHA256=AB:CD\n", postwell::ConnectionSecurity::Tls, "tls"},
               {"SECURITY=STARTTLS\n", postwell::ConnectionSecurity::StartTls, "starttls"},
               {"SECURITY=none\n", postwell::ConnectionSecurity::None, "none"},
               {"SECURITY=ssl\n", postwell::ConnectionSecurity::StartTls, "starttls"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    TempDir dir;
    const std::string file = dir.file("device.ini");
    writeFile(file, std::string("[Default]\nSMTPSERVER=mx.test\n") + c.keys);
    CMailDeviceSetting setting;
    setting.LoadSetting("device", file.c_str(), nullptr);
    EXPECT_EQ(setting.m_Security.mode, c.mode);
    setting.SaveSetting();
    const std::string saved = platform::getPrivateProfileString("Default", "SECURITY", "", file.c_str());
    EXPECT_EQ(saved, c.saved ? c.saved : "");
    if (c.saved == nullptr) {
      EXPECT_EQ(testsupport::readFile(file).find("TLS"), std::string::npos);
    }
    CMailDeviceSetting again;
    again.LoadSetting("device", file.c_str(), nullptr);
    EXPECT_EQ(again.m_Security.mode, c.mode);
    EXPECT_EQ(again.m_Security.caFile, setting.m_Security.caFile);
    EXPECT_EQ(again.m_Security.pinnedSha256, setting.m_Security.pinnedSha256);
  }
}

class PortAndTimeout : public ::testing::TestWithParam<std::pair<std::string, int>> {};

TEST_P(PortAndTimeout, OutOfRangeValuesFallBack) {
  TempDir dir;
  const std::string file = dir.file("device.ini");
  writeFile(file, "[Default]\nSMTPPORT=" + GetParam().first + "\nTIMEOUT=" + GetParam().first + "\n");
  CMailDeviceSetting setting;
  setting.LoadSetting(nullptr, file.c_str(), nullptr);
  EXPECT_EQ(setting.m_nSMTPPort, GetParam().second);
  EXPECT_EQ(setting.m_nTimeout, GetParam().second == 25 ? 30 : GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(MailDeviceSetting, PortAndTimeout,
                         ::testing::Values(std::pair<std::string, int>{"0", 25}, std::pair<std::string, int>{"abc", 25},
                                           std::pair<std::string, int>{"-3", 25},
                                           std::pair<std::string, int>{"9999", 9999},
                                           std::pair<std::string, int>{"120s", 120}));

TEST(MailDeviceSetting, LargePortFallsBackButTimeoutStays) {
  TempDir dir;
  const std::string file = dir.file("device.ini");
  writeFile(file, "[Default]\nSMTPPORT=10000\nTIMEOUT=10000\n");
  CMailDeviceSetting setting;
  setting.LoadSetting(nullptr, file.c_str(), nullptr);
  EXPECT_EQ(setting.m_nSMTPPort, 25);
  EXPECT_EQ(setting.m_nTimeout, 10000);
}

TEST(MailDeviceSetting, SavesToDefaultWithoutTheTimeout) {
  TempDir dir;
  const std::string file = dir.file("device.ini");
  writeFile(file, "[X]\nAUTOGETSMTPSERVER=YES\nSMTPSERVER=x.test\nSMTPPORT=587\nAUTHCHECK=yes\nTIMEOUT=5\n");
  CMailDeviceSetting setting;
  setting.LoadSetting(nullptr, file.c_str(), "X");
  setting.SaveSetting();
  EXPECT_EQ(testsupport::readFile(file),
            "[X]\nAUTOGETSMTPSERVER=YES\nSMTPSERVER=x.test\nSMTPPORT=587\nAUTHCHECK=yes\nTIMEOUT=5\n"
            "[Default]\nAUTOGETSMTPSERVER=YES\nDNSSERVER1=\nDNSSERVER2=\nSMTPSERVER=x.test\n"
            "SMTPPORT=587\nAUTHCHECK=YES\nAUTHLOGINNAME=\nAUTHLOGINPASS=\nMODIMAILERFROMBY=\n");
}

TEST(MailDeviceSetting, SectionOfADomainComesFromSpecialDomain) {
  TempDir dir;
  const std::string file = dir.file("device.ini");
  writeFile(file, "[SPECIAL DOMAIN]\nexample.test=Route\nempty.test=\n");
  CMailDeviceSetting setting;
  EXPECT_EQ(setting.GetSettingSecFlag("example.test", file.c_str()), "Route");
  EXPECT_EQ(setting.GetSettingSecFlag("empty.test", file.c_str()), "Default");
  EXPECT_EQ(setting.GetSettingSecFlag("other.test", file.c_str()), "Default");
  EXPECT_EQ(setting.GetSettingSecFlag("other.test", dir.file("missing.ini").c_str()), "Default");
}

TEST(MailDeviceSendMailInfo, SavedRecordLoadsBackTheSame) {
  TempDir dir;
  CMailDevice_SendMailInfo saved;
  std::strcpy(saved.m_szInfoFile, dir.file("mission.inf").c_str());
  std::strcpy(saved.m_szMailFrom, "a@example.test");
  std::strcpy(saved.m_szRcptTo, "b@example.test");
  std::strcpy(saved.m_szDataFile, "/queue/mission.eml");
  std::strcpy(saved.m_szSubject, "审核 subject");
  std::strcpy(saved.m_szMissionID, "M42");
  saved.m_nSize = 12345;
  saved.m_tmRequest = 1700000000;
  saved.m_tmLastDelivery = 1700000100;
  saved.m_nState = CMailDevice_SendMailInfo::kSent;
  saved.SaveInfoToDisk();

  CMailDevice_SendMailInfo loaded;
  unsigned long error = 0;
  ASSERT_EQ(loaded.LoadInfoFromDisk(saved.m_szInfoFile, error), 1);
  EXPECT_STREQ(loaded.m_szMailFrom, "a@example.test");
  EXPECT_STREQ(loaded.m_szRcptTo, "b@example.test");
  EXPECT_STREQ(loaded.m_szDataFile, "/queue/mission.eml");
  EXPECT_STREQ(loaded.m_szSubject, "审核 subject");
  EXPECT_STREQ(loaded.m_szMissionID, "M42");
  EXPECT_EQ(loaded.m_nSize, 12345);
  EXPECT_EQ(loaded.m_tmRequest, 1700000000);
  EXPECT_EQ(loaded.m_tmLastDelivery, 1700000100);
  EXPECT_EQ(loaded.m_nState, CMailDevice_SendMailInfo::kWaiting);
}

TEST(MailDeviceSendMailInfo, TimesAreKeptAsTheirLow32Bits) {
  TempDir dir;
  CMailDevice_SendMailInfo saved;
  std::strcpy(saved.m_szInfoFile, dir.file("mission.inf").c_str());
  saved.m_tmRequest = 3000000000LL;
  saved.SaveInfoToDisk();
  EXPECT_EQ(platform::getPrivateProfileString("Normal", "Request Time", "", saved.m_szInfoFile), "-1294967296");
}

struct MissingKeyCase {
  std::string content;
  unsigned long error;
  std::string from, to;
};

class MissingKey : public ::testing::TestWithParam<MissingKeyCase> {};

TEST_P(MissingKey, FailsKeepingWhatWasRead) {
  TempDir dir;
  const std::string file = dir.file("mission.inf");
  writeFile(file, "[Normal]\n" + GetParam().content);
  CMailDevice_SendMailInfo info;
  unsigned long error = 0;
  EXPECT_EQ(info.LoadInfoFromDisk(file.c_str(), error), 0);
  EXPECT_EQ(error, GetParam().error);
  EXPECT_EQ(info.m_szMailFrom, GetParam().from);
  EXPECT_EQ(info.m_szRcptTo, GetParam().to);
  EXPECT_STREQ(info.m_szMissionID, "M1");
  EXPECT_EQ(info.m_szInfoFile, file);
}

INSTANTIATE_TEST_SUITE_P(
    MailDeviceSendMailInfo, MissingKey,
    ::testing::Values(MissingKeyCase{"MissionID=M1\nRcptTo=b@x\nDataFile=d\n", 4864, "", ""},
                      MissingKeyCase{"MissionID=M1\nMailFrom=\"A\" <a@x>\nDataFile=d\n", 4865, "a@x", ""},
                      MissingKeyCase{"MissionID=M1\nMailFrom=\"A\" <a@x>\nRcptTo=B <b@y>\n", 4866, "a@x", "b@y"}));

}  // namespace
