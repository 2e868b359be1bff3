// The mail queue: its working flag, the queue worker, the local delivery plug-in and what the
// host's event sink hears. The queue's database is shared by the whole process, as in a host: every
// test here uses the one SQLite file below and empties it first.
#include "postwell/mail_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/odbc_database.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

const TempDir& databaseDir() {
  static TempDir dir;
  return dir;
}

std::string databaseConnection() {
  return "Driver=SQLite3;Database=" + databaseDir().file("queue.db");
}

class Events : public IMailQueueEvent {
 public:
  void OnQueueException(tagDeviceException* e) override {
    add(std::string("exception ") + e->szSource + ": " + e->szDescription + " (" +
        std::to_string(e->nCode) + ")");
  }
  void OnMissionInserted(IMailMission* mission) override {
    add(std::string("inserted ") + mission->GetMissionID());
  }
  void OnQueueText(const char* text) override { add(std::string("text ") + text); }
  void OnMissionWaiting() override { ++waiting; }

  std::vector<std::string> list() {
    std::lock_guard<std::mutex> guard(mutex_);
    return events_;
  }
  void clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    events_.clear();
  }
  std::atomic<int> waiting{0};

 private:
  void add(std::string event) {
    std::lock_guard<std::mutex> guard(mutex_);
    events_.push_back(std::move(event));
  }
  std::mutex mutex_;
  std::vector<std::string> events_;
};

class MailQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CADODatabase database;
    if (database.Open(databaseConnection(), "", "")) database.Execute("DELETE FROM MailQueue");
  }

  // A setting file for the shared database with the plug-in entry and a domain table.
  std::string settings(const std::string& plugin) {
    const std::string file = dir.file("queue.ini");
    writeFile(file,
              "[DBInfo]\nCnnStr=" + databaseConnection() + "\n[Plug-in]\nLocalDelivery=" + plugin +
                  "\nLocalDomains=local.test, Office.Local.test\n"
                  "[SPECIAL DOMAIN]\nroute.test=Route Project\nboss@sender.test=Boss Project\n");
    return file;
  }

  static CMailMission mission(const std::string& from, const std::string& to,
                              const std::string& id = "") {
    CMailMission m;
    m.SetMailFrom(from.c_str());
    m.SetMailTo(to.c_str());
    m.SetMissionID(id.c_str());
    return m;
  }

  TempDir dir;
  Events events;
};

TEST_F(MailQueueTest, AQueueThatIsNotWorkingIgnoresMissions) {
  CMailQueue queue(settings("").c_str());
  queue.SetEventObject(&events);
  CMailMission m = mission("a@sender.test", "b@local.test");
  queue.InsertMission(&m);
  EXPECT_EQ(m.GetStatue(), 0u);
  EXPECT_EQ(m.IsToLocalMailBox(), 0);
  EXPECT_STREQ(m.GetSMTPServerProject(), "");
  EXPECT_TRUE(events.list().empty());
  EXPECT_EQ(queue.StopWork(), 0);
}

TEST_F(MailQueueTest, QueuesClassifiesStampsAndHandsOutOnce) {
  CMailQueue queue(settings("LocalDelivery").c_str());
  queue.SetEventObject(&events);
  EXPECT_EQ(queue.StartWork(), 0);
  // Constructing another queue does not stop this one's work.
  { CMailQueue other(settings("LocalDelivery").c_str()); }
  CMailQueue second(settings("LocalDelivery").c_str());

  CMailMission local = mission("a@sender.test", "Name <b@OFFICE.local.test>", "local");
  CMailMission routed = mission("a@sender.test", "c@route.test", "routed");
  CMailMission boss = mission("boss@sender.test", "d@far.test", "boss");
  CMailMission refused = mission("a@sender.test", "e@far.test", std::string(63, 'r'));
  CMailMission refusedAgain = refused;
  for (CMailMission* m : {&local, &routed, &refused, &refusedAgain, &boss}) queue.InsertMission(m);

  EXPECT_EQ(local.IsToLocalMailBox(), 1);
  EXPECT_EQ(routed.IsToLocalMailBox(), 0);
  EXPECT_STREQ(local.GetSMTPServerProject(), "Default Server");
  EXPECT_STREQ(routed.GetSMTPServerProject(), "Route Project");
  EXPECT_STREQ(boss.GetSMTPServerProject(), "Boss Project");
  EXPECT_EQ(refused.GetStatue(), 1u);
  // Its identifier is taken and the next candidate would not fit: not queued, and the host hears
  // why.
  EXPECT_EQ(refusedAgain.GetStatue(), 0u);
  EXPECT_EQ(events.list(),
            (std::vector<std::string>{"inserted local", "inserted routed",
                                      "inserted " + std::string(63, 'r'),
                                      "exception CMailQueueDBVistor::InsertMissionToQueueTable: "
                                      "Can not add new record into mailqueue "
                                      "table. (0)",
                                      "inserted boss"}));
  events.clear();

  tagDeliveryMail mail;
  ASSERT_EQ(second.GetDeliveryMission(nullptr, "Route Project", 0, mail), 1);
  EXPECT_STREQ(mail.szMissionID, "routed");
  std::vector<std::string> taken;
  while (queue.GetDeliveryMission(nullptr, "", 0, mail) == 1) taken.push_back(mail.szMissionID);
  std::sort(taken.begin(), taken.end());
  EXPECT_EQ(taken, (std::vector<std::string>{"boss", "local", std::string(63, 'r')}));
  EXPECT_EQ(events.list(),
            std::vector<std::string>{
                "exception CMailQueueDBVistor::GetDeliveryMission: Have no such record (0)"});

  // The host gives a mission back for a later attempt.
  EXPECT_EQ(queue.Modify_State("boss", 0), 1);
  EXPECT_EQ(queue.Modify_DeliveryTime("boss", static_cast<long>(time(nullptr)) + 3600), 1);
  EXPECT_EQ(queue.GetDeliveryMission(nullptr, "", 0, mail), 0);
  EXPECT_EQ(queue.Modify_DeliveryTime("boss", 0), 1);
  EXPECT_EQ(queue.RemoveMission("boss"), 1);
  EXPECT_EQ(queue.GetDeliveryMission(nullptr, "", 0, mail), 0);

  events.clear();
  queue.DISKQ_Enumerate();
  ASSERT_EQ(events.list().size(), 10u);
  EXPECT_EQ(events.list()[9], "text This item is No.9");
  events.clear();
  tagDeviceException record{};
  std::strcpy(record.szSource, "Elsewhere");
  std::strcpy(record.szDescription, "passed on");
  static_cast<IDeviceException&>(queue).OnDeviceException(&record);
  EXPECT_EQ(events.list(), std::vector<std::string>{"exception Elsewhere: passed on (0)"});

  EXPECT_EQ(queue.StopWork(), 0);
  CMailMission late = mission("a@sender.test", "b@far.test", "late");
  queue.InsertMission(&late);
  EXPECT_EQ(late.GetStatue(), 0u);
}

TEST_F(MailQueueTest, WorkerTellsOfDueMissionsAndStopsAtOnce) {
  CMailQueue queue(settings("").c_str());
  queue.SetEventObject(&events);
  queue.StartWork();
  CMailMission due = mission("a@sender.test", "b@far.test", "due");
  queue.InsertMission(&due);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (events.waiting.load() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_GT(events.waiting.load(), 0);
  // The worker now waits up to an hour on the queue event; taking a mission wakes it to look again.
  tagDeliveryMail mail;
  ASSERT_EQ(queue.GetDeliveryMission(nullptr, "", 0, mail), 1);
  const auto start = std::chrono::steady_clock::now();
  queue.StopWork();
  // Not a speed figure: a stop that waited for the worker's hour would never get here.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

struct PluginCase {
  std::string setting;  // "<bin>/" stands for the folder of the test program
  unsigned localType;
  std::string report;
};

class MailQueuePlugin : public MailQueueTest, public ::testing::WithParamInterface<PluginCase> {};

TEST_P(MailQueuePlugin, IsLoadedThroughThePlatformLoader) {
  std::string setting = GetParam().setting;
  if (setting.rfind("<bin>/", 0) == 0)
    setting = platform::executableDirectory() + setting.substr(5);
  CMailQueue queue(settings(setting).c_str());
  queue.SetEventObject(&events);
  queue.StartWork();
  CMailMission local = mission("a@sender.test", "b@local.test");
  CMailMission remote = mission("a@sender.test", "b@far.test");
  queue.InsertMission(&local);
  queue.InsertMission(&remote);
  queue.StopWork();
  EXPECT_EQ(local.IsToLocalMailBox(), static_cast<int>(GetParam().localType));
  EXPECT_EQ(remote.IsToLocalMailBox(), 0);
  std::vector<std::string> reports;
  for (const std::string& event : events.list())
    if (event.rfind("exception", 0) == 0) reports.push_back(event);
  if (GetParam().report.empty())
    EXPECT_TRUE(reports.empty());
  else
    EXPECT_EQ(reports, std::vector<std::string>{
                           "exception AssemblyLocalDelivery: " + GetParam().report + " (0)"});
}

INSTANTIATE_TEST_SUITE_P(
    MailQueue, MailQueuePlugin,
    ::testing::Values(
        PluginCase{"LocalDelivery", 1, ""}, PluginCase{"LocalDelivery.dll", 1, ""},
        PluginCase{"<bin>/libLocalDelivery.so", 1, ""},
        PluginCase{"NoSuchPlugin", 0, "Failed to load plug-in from file NoSuchPlugin."},
        PluginCase{"NoExportPlugin", 0, "Failed to get GetLocalDelivery function point"}));

}  // namespace
