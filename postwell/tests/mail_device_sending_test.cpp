// The sending device against scripted servers: its states, a batch through one session with AUTH
// LOGIN and a replacement sender, the owner's notices in order, a refused connection, a rejected
// mission, a failure inside the sending thread, and Abort while a slow server holds a mission.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "mail_device_test_support.h"
#include "platform/sync.h"

namespace {

using smtptest::Notice;
using testsupport::Script;
using testsupport::ScriptedServer;

// Records every notice; safe for notices from the sending thread and the host thread at once.
class Owner : public IDeviceOwner {
 public:
  long OnDeviceMessage(unsigned message, unsigned long wParam, void* lParam) override {
    Notice notice;
    notice.message = message;
    notice.wParam = wParam;
    notice.record = lParam;
    if (message == 1286) notice.status = static_cast<CMailDevice*>(lParam)->GetDeviceStatus();
    if (message == 1287) {
      const auto* record = static_cast<CMailDevice_SendMailInfo*>(lParam);
      notice.state = record->m_nState;
      notice.percent = record->m_nPercent;
    }
    {
      std::lock_guard<std::mutex> guard(mutex);
      notices.push_back(notice);
    }
    if (onNotice) onNotice(notice);
    return 0;
  }

  std::vector<std::string> statuses() {
    std::lock_guard<std::mutex> guard(mutex);
    std::vector<std::string> texts;
    for (const Notice& n : notices)
      if (n.message == 1286) texts.push_back(n.status);
    return texts;
  }
  // The 1287 notices without the content progress (state 5).
  std::vector<std::pair<const void*, int>> outcomes() {
    std::lock_guard<std::mutex> guard(mutex);
    std::vector<std::pair<const void*, int>> found;
    for (const Notice& n : notices)
      if (n.message == 1287 && n.state != 5) found.emplace_back(n.record, n.state);
    return found;
  }
  std::vector<Notice> all() {
    std::lock_guard<std::mutex> guard(mutex);
    return notices;
  }

  std::function<void(const Notice&)> onNotice;

 private:
  std::mutex mutex;
  std::vector<Notice> notices;
};

class Device : public CMailDevice {
 public:
  bool waitIdle(unsigned long ms = 20000) { return m_evIdle->wait(ms); }
  // The thread's last notices come after the idle event.
  void join() {
    if (m_hSendThread.joinable()) m_hSendThread.join();
  }
};

// A scripted server on a loopback port below 10,000: device settings take no higher port.
std::unique_ptr<ScriptedServer> lowPortServer() {
  static unsigned next = 4100 + static_cast<unsigned>(::getpid()) % 4000;
  for (int attempt = 0; attempt < 500; ++attempt) {
    const unsigned port = next;
    next = next >= 9990 ? 4100 : next + 7;
    try {
      return std::make_unique<ScriptedServer>("127.0.0.1", static_cast<std::uint16_t>(port));
    } catch (const std::runtime_error&) {
    }
  }
  throw std::runtime_error("no free loopback port below 10000");
}

// A loopback port below 10,000 that nothing listens on.
unsigned short closedPort() { return lowPortServer()->port(); }

Script& mailTransaction(Script& script, const std::string& from, const std::string& to) {
  return script.expect("MAIL FROM: <" + from + ">")
      .send("250 ok\r\n")
      .expect("RCPT TO: <" + to + ">")
      .send("250 ok\r\n")
      .expect("DATA")
      .send("354 go on\r\n")
      .readUntil("\r\n.\r\n");
}

class Sending : public ::testing::Test {
 protected:
  void writeSettings(const std::string& text) { testsupport::writeFile(settings, text); }

  CMailDevice_SendMailInfo* mission(const std::string& from, const std::string& to) {
    auto record = std::make_unique<CMailDevice_SendMailInfo>();
    std::strcpy(record->m_szMailFrom, from.c_str());
    std::strcpy(record->m_szRcptTo, to.c_str());
    const std::string file = dir.file("m" + std::to_string(missions.size()) + ".eml");
    testsupport::writeFile(file,
                           "Subject: " + std::to_string(missions.size()) + "\r\n\r\nbody\r\n");
    std::strcpy(record->m_szDataFile, file.c_str());
    missions.push_back(std::move(record));
    return missions.back().get();
  }

  void startDevice() {
    unsigned long error = 0;
    ASSERT_EQ(device->InitializeDevice(settings.c_str(), "Sender", &owner, error), 1);
    device->StartDevice();
    ASSERT_EQ(device->OccupyDevice(), 1);
  }

  void runBatch() {
    for (auto& m : missions) device->AddSendMissionToQueue(m.get());
    unsigned long error = 0;
    ASSERT_EQ(device->StartUpSendProcess(error), 1);
    ASSERT_TRUE(device->waitIdle());
    device->join();
  }

  testsupport::TempDir dir;
  std::string settings = dir.file("device.ini");
  Owner owner;
  std::vector<std::unique_ptr<CMailDevice_SendMailInfo>> missions;
  std::unique_ptr<Device> device = std::make_unique<Device>();
};

TEST_F(Sending, DeviceStates) {
  unsigned long error = 0;
  device->InitializeDevice(settings.c_str(), "Sender", &owner, error);
  EXPECT_EQ(device->OccupyDevice(), 0);
  device->StartDevice();
  EXPECT_EQ(device->OccupyDevice(), 1);
  EXPECT_EQ(device->OccupyDevice(), 0);
  EXPECT_EQ(device->StartUpSendProcess(error), 0);
  EXPECT_EQ(error, 4880u);
  device->SetIdle();
  EXPECT_EQ(device->OccupyDevice(), 1);
  device->StopDevice();
  EXPECT_EQ(owner.statuses(), (std::vector<std::string>{"空闲", "占用", "空闲", "占用", "关闭"}));
  EXPECT_STREQ(device->GetDeviceName(), "Sender");
}

// The route comes from the first mission's domain; the login goes out base64-encoded on one line
// however long the password is; every message carries the replacement sender.
TEST_F(Sending, BatchThroughOneAuthenticatedSession) {
  std::unique_ptr<ScriptedServer> serverHolder = lowPortServer();
  ScriptedServer& server = *serverHolder;
  Script& script = server.connection();
  script.send("220 mx.test ESMTP\r\n")
      .expectPrefix("EHLO ")
      .send("250-mx.test\r\n250 AUTH LOGIN\r\n")
      .expect("AUTH LOGIN")
      .send("334 VXNlcm5hbWU6\r\n")
      .expect("c2VuZGVyQGNvcnAudGVzdA==")
      .send("334 UGFzc3dvcmQ6\r\n")
      .expect(
          "cHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcMOkLWxvbmctcGFzc3dvcmQtMDEyMzQ1Njc4"
          "OQ==")
      .send("235 welcome\r\n");
  mailTransaction(script, "bounce@corp.test", "a@first.test").send("250 queued 1\r\n");
  mailTransaction(script, "bounce@corp.test", "b@second.test").send("250 queued 2\r\n");
  smtptest::quit(script);
  server.start();
  writeSettings(
      "[Special Domain]\nfirst.test=Route A\nsecond.test=Route B\n"
      "[Route A]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" +
      std::to_string(server.port()) +
      "\nAUTHCHECK=yes\nAUTHLOGINNAME=sender@corp.test\nAUTHLOGINPASS=" + std::string(40, 'p') +
      "ä-long-password-0123456789\nMODIMAILERFROMBY=bounce@corp.test\nTIMEOUT=10\n"
      "[Route B]\nSMTPSERVER=127.0.0.1\nSMTPPORT=1\n");
  CMailDevice_SendMailInfo* first = mission("alice@corp.test", "a@first.test");
  CMailDevice_SendMailInfo* second = mission("bob@corp.test", "b@second.test");
  startDevice();
  runBatch();
  ASSERT_TRUE(server.waitDone());
  EXPECT_TRUE(server.mismatches().empty()) << server.mismatches().front();
  EXPECT_EQ(server.accepted(), 1);

  EXPECT_EQ(owner.outcomes(), (std::vector<std::pair<const void*, int>>{
                                  {first, 1}, {first, 3}, {second, 1}, {second, 3}}));
  // Content progress of the first mission comes between its start and its end.
  const std::vector<Notice> all = owner.all();
  std::vector<int> firstStates;
  for (const Notice& n : all)
    if (n.record == first && n.message == 1287) firstStates.push_back(n.state);
  ASSERT_GE(firstStates.size(), 3u);
  EXPECT_EQ(firstStates.front(), 1);
  EXPECT_EQ(firstStates[1], 5);
  EXPECT_EQ(firstStates.back(), 3);

  const std::vector<std::string> statuses = owner.statuses();
  EXPECT_EQ(statuses[2], "正在连接 127.0.0.1:" + std::to_string(server.port()) + " ...");
  EXPECT_EQ(statuses.back(), "空闲");
  for (const auto* m : {first, second}) {
    EXPECT_EQ(m->m_nState, 3);
    EXPECT_NE(m->m_tmLastDelivery, 0);
    EXPECT_NE(m->m_tmDelivered, 0);
  }
  EXPECT_STREQ(first->m_szMailFrom, "alice@corp.test");
  EXPECT_EQ(device->GetTimeout(), 10000u);
  // The device is free for the next batch.
  EXPECT_EQ(device->OccupyDevice(), 1);
}

TEST_F(Sending, RefusedConnectionFailsEveryMissionOnceInQueueOrder) {
  const unsigned short port = closedPort();
  writeSettings("[Default]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" + std::to_string(port) + "\n");
  CMailDevice_SendMailInfo* a = mission("x@corp.test", "a@one.test");
  CMailDevice_SendMailInfo* b = mission("x@corp.test", "b@two.test");
  CMailDevice_SendMailInfo* c = mission("x@corp.test", "c@one.test");
  startDevice();
  runBatch();
  EXPECT_EQ(owner.outcomes(), (std::vector<std::pair<const void*, int>>{{a, 2}, {b, 2}, {c, 2}}));
  for (const auto* m : {a, b, c}) {
    EXPECT_EQ(m->m_dwError, 10061u);
    EXPECT_NE(m->m_sError.find("Could not connect"), std::string::npos) << m->m_sError;
    // Every attempt is stamped, so that a host can time its retry.
    EXPECT_NE(m->m_tmLastDelivery, 0);
  }
  const std::string target = "127.0.0.1:" + std::to_string(port);
  const std::vector<std::string> statuses = owner.statuses();
  const std::vector<std::string> tail(statuses.end() - 3, statuses.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"正在连接 " + target + " ...",
                                            "连接 " + target + " 失败", "空闲"}));
}

// A host that chose the server project itself names its section; without one the first
// recipient's domain picks it again.
TEST_F(Sending, SectionChosenByTheHostGivesTheRoute) {
  const unsigned short partner = closedPort();
  const unsigned short chosen = closedPort();
  writeSettings("[Special Domain]\none.test=Partner\n[Partner]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" +
                std::to_string(partner) + "\n[Project B]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" +
                std::to_string(chosen) + "\n");
  auto failedTarget = [&] {
    for (const std::string& status : owner.statuses())
      if (status.rfind("连接 ", 0) == 0) return status;
    return std::string();
  };
  mission("x@corp.test", "a@one.test");
  startDevice();
  device->SetSettingSection("Project B");
  runBatch();
  EXPECT_EQ(failedTarget(), "连接 127.0.0.1:" + std::to_string(chosen) + " 失败");

  owner.onNotice = nullptr;
  Owner second;
  unsigned long error = 0;
  device->InitializeDevice(settings.c_str(), "Sender", &second, error);
  ASSERT_EQ(device->OccupyDevice(), 1);
  device->SetSettingSection(nullptr);
  device->AddSendMissionToQueue(missions[0].get());
  ASSERT_EQ(device->StartUpSendProcess(error), 1);
  ASSERT_TRUE(device->waitIdle());
  device->join();
  const std::vector<std::string> statuses = second.statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(),
                      "连接 127.0.0.1:" + std::to_string(partner) + " 失败"),
            statuses.end());
}

TEST_F(Sending, RejectedMissionIsFollowedByTheNext) {
  std::unique_ptr<ScriptedServer> serverHolder = lowPortServer();
  ScriptedServer& server = *serverHolder;
  Script& script = smtptest::greetAndHelo(server.connection());
  script.expect("MAIL FROM: <x@corp.test>")
      .send("250 ok\r\n")
      .expect("RCPT TO: <nobody@one.test>")
      .send("550 5.1.1 no such user\r\n")
      .expect("RSET")
      .send("250 reset\r\n");
  mailTransaction(script, "x@corp.test", "b@one.test").send("250 queued\r\n");
  smtptest::quit(script);
  server.start();
  writeSettings("[Default]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" + std::to_string(server.port()) +
                "\n");
  CMailDevice_SendMailInfo* rejected = mission("x@corp.test", "nobody@one.test");
  CMailDevice_SendMailInfo* next = mission("x@corp.test", "b@one.test");
  startDevice();
  runBatch();
  ASSERT_TRUE(server.waitDone());
  EXPECT_TRUE(server.mismatches().empty()) << server.mismatches().front();
  EXPECT_EQ(owner.outcomes(), (std::vector<std::pair<const void*, int>>{
                                  {rejected, 1}, {rejected, 2}, {next, 1}, {next, 3}}));
  EXPECT_EQ(rejected->m_dwError, 4899u);
  EXPECT_NE(rejected->m_sError.find("550 5.1.1"), std::string::npos) << rejected->m_sError;
  EXPECT_EQ(rejected->m_tmDelivered, 0);
}

// An owner that throws while the batch runs must not leave the device occupied, nor missions
// unreported.
TEST_F(Sending, FailureInsideTheThreadFailsTheRestAndFreesTheDevice) {
  std::unique_ptr<ScriptedServer> serverHolder = lowPortServer();
  ScriptedServer& server = *serverHolder;
  smtptest::greetAndHelo(server.connection()).silence();
  server.start();
  writeSettings("[Default]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" + std::to_string(server.port()) +
                "\n");
  CMailDevice_SendMailInfo* a = mission("x@corp.test", "a@one.test");
  CMailDevice_SendMailInfo* b = mission("x@corp.test", "b@one.test");
  bool thrown = false;
  owner.onNotice = [&](const Notice& n) {
    if (n.message == 1287 && n.state == 1 && !thrown) {
      thrown = true;
      throw std::runtime_error("owner window went away");
    }
  };
  startDevice();
  runBatch();
  EXPECT_EQ(owner.outcomes(), (std::vector<std::pair<const void*, int>>{{a, 1}, {a, 2}, {b, 2}}));
  for (const auto* m : {a, b}) {
    EXPECT_EQ(m->m_nState, 2);
    EXPECT_NE(m->m_sError.find("owner window went away"), std::string::npos) << m->m_sError;
  }
  EXPECT_EQ(owner.statuses().back(), "空闲");
  EXPECT_EQ(device->OccupyDevice(), 1);
}

TEST_F(Sending, AbortBeforeTheBatchHandsEverythingBack) {
  writeSettings("");
  CMailDevice_SendMailInfo* a = mission("x@corp.test", "a@one.test");
  CMailDevice_SendMailInfo* b = mission("x@corp.test", "b@one.test");
  startDevice();
  for (auto& m : missions) device->AddSendMissionToQueue(m.get());
  std::vector<CMailDevice_SendMailInfo*> back;
  device->Abort(&back);
  EXPECT_EQ(back, (std::vector<CMailDevice_SendMailInfo*>{a, b}));
  EXPECT_TRUE(owner.outcomes().empty());
  EXPECT_EQ(owner.statuses().back(), "空闲");
  unsigned long error = 0;
  EXPECT_EQ(device->StartUpSendProcess(error), 0);
  EXPECT_EQ(error, 4880u);
}

// The server holds the second mission's end of data for longer than Abort waits: the missions not
// started come back, the one in hand is reported by the sending thread, each exactly once.
TEST_F(Sending, AbortDuringSlowBatchReportsEveryMissionOnce) {
  std::unique_ptr<ScriptedServer> serverHolder = lowPortServer();
  ScriptedServer& server = *serverHolder;
  Script& script = smtptest::greetAndHelo(server.connection());
  mailTransaction(script, "x@corp.test", "m0@one.test").send("250 queued\r\n");
  mailTransaction(script, "x@corp.test", "m1@one.test").pause(6500).send("250 queued late\r\n");
  smtptest::quit(script);
  server.start();
  writeSettings("[Default]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" + std::to_string(server.port()) +
                "\nTIMEOUT=30\n");
  for (int i = 0; i < 5; ++i) mission("x@corp.test", "m" + std::to_string(i) + "@one.test");
  platform::AutoResetEvent secondStarted;
  owner.onNotice = [&](const Notice& n) {
    if (n.message == 1287 && n.state == 1 && n.record == missions[1].get()) secondStarted.set();
  };
  startDevice();
  for (auto& m : missions) device->AddSendMissionToQueue(m.get());
  unsigned long error = 0;
  ASSERT_EQ(device->StartUpSendProcess(error), 1);
  ASSERT_TRUE(secondStarted.wait(10000));

  std::vector<CMailDevice_SendMailInfo*> back;
  device->Abort(&back);
  EXPECT_EQ(back, (std::vector<CMailDevice_SendMailInfo*>{missions[2].get(), missions[3].get(),
                                                          missions[4].get()}));
  EXPECT_EQ(owner.statuses().back(), "空闲");
  // The device waits for its thread before it goes.
  device.reset();
  ASSERT_TRUE(server.waitDone());
  EXPECT_TRUE(server.mismatches().empty()) << server.mismatches().front();

  const auto m0 = missions[0].get();
  const auto m1 = missions[1].get();
  EXPECT_EQ(owner.outcomes(),
            (std::vector<std::pair<const void*, int>>{{m0, 1}, {m0, 3}, {m1, 1}, {m1, 3}}));
  for (int i = 2; i < 5; ++i) EXPECT_EQ(missions[i]->m_nState, 0);
  // The batch's late end does not make the device idle a second time.
  const std::vector<std::string> statuses = owner.statuses();
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "空闲"), 2);
}

}  // namespace

namespace {

// The owner may call back into the device from its notices: a second batch is refused, and Abort
// hands back what is waiting without waiting for the thread it is called on.
TEST_F(Sending, OwnerCallsBackFromTheSendingThread) {
  std::unique_ptr<ScriptedServer> serverHolder = lowPortServer();
  ScriptedServer& server = *serverHolder;
  Script& script = smtptest::greetAndHelo(server.connection());
  mailTransaction(script, "x@corp.test", "a@one.test").send("250 queued\r\n");
  smtptest::quit(script);
  server.start();
  writeSettings("[Default]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" + std::to_string(server.port()) +
                "\n");
  CMailDevice_SendMailInfo* a = mission("x@corp.test", "a@one.test");
  CMailDevice_SendMailInfo* b = mission("x@corp.test", "b@one.test");
  unsigned long nestedError = 0;
  int nestedStart = -1;
  std::vector<CMailDevice_SendMailInfo*> back;
  owner.onNotice = [&](const Notice& n) {
    if (n.message == 1287 && n.state == 1 && n.record == a) {
      nestedStart = device->StartUpSendProcess(nestedError);
      device->Abort(&back);
    }
  };
  startDevice();
  runBatch();
  ASSERT_TRUE(server.waitDone());
  EXPECT_TRUE(server.mismatches().empty()) << server.mismatches().front();
  EXPECT_EQ(nestedStart, 0);
  EXPECT_EQ(nestedError, 170u);
  EXPECT_EQ(back, std::vector<CMailDevice_SendMailInfo*>{b});
  EXPECT_EQ(owner.outcomes(), (std::vector<std::pair<const void*, int>>{{a, 1}, {a, 3}}));
  EXPECT_EQ(device->OccupyDevice(), 1);
}

}  // namespace
