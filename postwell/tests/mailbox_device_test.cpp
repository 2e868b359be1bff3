#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/last_error.h"
#include "pop3_session.h"
#include "postwell/mailbox_device.h"
#include "scripted_server.h"
#include "temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::ScriptedServer;
using testsupport::TempDir;
using testsupport::writeFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

struct Notice {
  unsigned message;
  unsigned long wParam;
  void* lParam;
  std::string status;
};

class RecordingOwner : public IDeviceOwner {
 public:
  long OnDeviceMessage(unsigned message, unsigned long wParam, void* lParam) override {
    notices.push_back({message, wParam, lParam, static_cast<CMailBoxDevice*>(lParam)->GetDeviceStatus()});
    return 0;
  }
  std::vector<std::string> statuses() const {
    std::vector<std::string> all;
    for (const Notice& n : notices) all.push_back(n.status);
    return all;
  }
  std::vector<Notice> notices;
};

class MailBoxDevice : public ::testing::Test {
 protected:
  void initialize(const std::string& settings) {
    if (!settings.empty()) writeFile(settingFile, settings);
    unsigned long error = 0;
    ASSERT_EQ(device.InitializeDevice(settingFile.c_str(), "mailbox", &owner, error), 1);
  }

  TempDir dir;
  std::string settingFile = dir.file("mailbox.ini");
  RecordingOwner owner;
  CMailBoxDevice device;
};

struct RunParamCase {
  const char* settings;
  int port;
  std::uint32_t timeout;
  int clear;
};

class MailBoxDeviceRunParams : public MailBoxDevice, public ::testing::WithParamInterface<RunParamCase> {};

TEST_P(MailBoxDeviceRunParams, LoadWithDefaults) {
  initialize(GetParam().settings);
  EXPECT_EQ(device.m_nRunPort, GetParam().port);
  EXPECT_EQ(device.m_dwRunTimeout, GetParam().timeout);
  EXPECT_EQ(device.m_bClearOTMail, GetParam().clear);
  EXPECT_STREQ(device.GetDeviceName(), "mailbox");
  // The session keeps its own timeout.
  EXPECT_EQ(device.GetTimeout(), 10000u);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, MailBoxDeviceRunParams,
    ::testing::Values(RunParamCase{"", 110, 10000, 0},
                      RunParamCase{"[Default]\nPORT=0\nCLEAROTMAIL=yes\n", 110, 10000, 1},
                      RunParamCase{"[Default]\nPORT=1110\nTIMEOUT=2500ms\nCLEAROTMAIL=Y\n", 1110, 2500, 0},
                      RunParamCase{"[Other]\nPORT=25\n", 110, 10000, 0}));

TEST_F(MailBoxDevice, SaveRunParamWritesTheLoadedValues) {
  initialize("");
  device.SaveRunParam();
  EXPECT_EQ(readFile(settingFile), "[Default]\r\nPORT=110\r\nTIMEOUT=10000\r\nCLEAROTMAIL=NO\r\n");
}

TEST_F(MailBoxDevice, StatesAndTheirStatusNotices) {
  initialize("");
  EXPECT_EQ(device.OccupyDevice(), 0);  // not started
  device.StartDevice();
  EXPECT_EQ(device.OccupyDevice(), 1);
  EXPECT_EQ(device.OccupyDevice(), 0);
  device.SetIdle();
  EXPECT_EQ(device.OccupyDevice(), 1);
  device.StopDevice();
  EXPECT_EQ(device.m_bOccupied, 1);
  EXPECT_STREQ(device.GetDeviceStatus(), "关闭");

  EXPECT_THAT(owner.statuses(), ElementsAre("空闲", "占用", "空闲", "占用", "关闭"));
  for (const Notice& n : owner.notices) {
    EXPECT_EQ(n.message, 1288u);
    EXPECT_EQ(n.wParam, 512u);
    EXPECT_EQ(n.lParam, static_cast<void*>(&device));
  }
}

TEST_F(MailBoxDevice, SessionAnnouncementsBecomeItsStatus) {
  ScriptedServer server;
  greetAndLogIn(server.connection()).expect("QUIT").send("+OK bye\r\n");
  server.start();
  initialize("");
  unsigned long error = 0;
  ASSERT_EQ(device.Connect("127.0.0.1", "alice", "secret", error, server.port()), 1);
  EXPECT_EQ(device.Disconnect(), 1);
  EXPECT_THAT(owner.statuses(),
              ElementsAre("<- +OK ready", "-> USER alice\r\n", "-> *****", "-> QUIT\r\n"));
}

TEST(MailBoxDeviceAsSession, WithoutInitializingSendsNothingAndLogsNothing) {
  ScriptedServer server;
  greetAndLogIn(server.connection()).expect("QUIT").send("+OK bye\r\n");
  server.start();
  CMailBoxDevice device;
  unsigned long error = 0;
  ASSERT_EQ(device.Connect("127.0.0.1", "alice", "secret", error, server.port()), 1);
  EXPECT_STREQ(device.GetDeviceStatus(), "-> *****");
  EXPECT_EQ(device.Disconnect(), 1);
  EXPECT_STREQ(device.GetDeviceStatus(), "-> QUIT\r\n");
}

TEST(MailBoxDeviceDebugLog, WritesTrafficWithoutThePassword) {
  TempDir dir;
  const std::string log = dir.file("pop3.log");
  ScriptedServer server;
  greetAndLogIn(server.connection()).expect("STAT").send("+OK 0 0\r\n").expect("QUIT").send("+OK bye\r\n");
  server.start();

  CMailBoxDevice device;
  device.MailBoxFuncD_SetDebugFlag(1, log.c_str());
  unsigned long error = 0;
  ASSERT_EQ(device.Connect("127.0.0.1", "alice", "secret", error, server.port()), 1);
  int count = 0, size = 0;
  ASSERT_EQ(device.Statistics(count, size, error), 1);
  device.MailBoxFuncD_SetDebugFlag(0, log.c_str());
  device.Disconnect();

  const std::string written = readFile(log);
  EXPECT_THAT(written, HasSubstr("\t<- +OK ready\r\n"));
  EXPECT_THAT(written, HasSubstr("\t-> USER alice\r\n\r\n"));
  EXPECT_THAT(written, HasSubstr("\t-> *****\r\n"));
  EXPECT_THAT(written, HasSubstr("\t-> STAT\r\n\r\n"));
  EXPECT_THAT(written, Not(HasSubstr("secret")));
  EXPECT_THAT(written, Not(HasSubstr("QUIT")));
}

// A log line that cannot be written must not take the place of the operation's own error.
TEST(MailBoxDeviceDebugLog, UnwritableLogKeepsTheConnectError) {
  TempDir dir;
  CMailBoxDevice device;
  device.MailBoxFuncD_SetDebugFlag(1, dir.file("missing/pop3.log").c_str());
  unsigned long error = 0;
  // Port 1 on loopback has no listener.
  EXPECT_EQ(device.Connect("127.0.0.1", "alice", "secret", error, 1), 0);
  EXPECT_EQ(error, 10061u);
  EXPECT_EQ(platform::lastError(), 10061u);
}

}  // namespace
