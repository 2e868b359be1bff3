#pragma once
// The database queue's behaviour, run against each database engine: a test file instantiates
// QueueDbTest with the engine's QueueDatabase.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <future>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/odbc_database.h"
#include "postwell/mail_mission.h"
#include "postwell/mail_queue_db.h"
#include "temp_dir.h"

namespace queuetest {

// How to reach an empty MailQueue of one engine.
struct QueueDatabase {
  std::string name;
  // Fills the connection settings of an empty queue (an earlier table dropped); false with the
  // reason when the engine cannot be reached.
  std::function<bool(const std::string& dir, std::string& connection, std::string& user,
                     std::string& password, std::string& why)>
      prepare;
  // A connection string of this engine that cannot connect.
  std::function<std::string(const std::string& dir)> unreachable;
};

// Records what a component reports.
class Reports : public IDeviceException {
 public:
  void OnDeviceException(tagDeviceException* e) override {
    std::lock_guard<std::mutex> guard(mutex_);
    texts_.push_back(std::string(e->szSource) + ": " + e->szDescription);
  }
  std::vector<std::string> texts() {
    std::lock_guard<std::mutex> guard(mutex_);
    return texts_;
  }
  std::string all() {
    std::string out;
    for (const std::string& text : texts()) out += text + "\n";
    return out;
  }
  void clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    texts_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
};

// A mission with an earliest delivery time, as a host may implement one.
class TimedMission : public CMailMission {
 public:
  TimedMission(const std::string& from, const std::string& to, long deliveryTime = 0)
      : delivery_(deliveryTime) {
    SetMailFrom(from.c_str());
    SetMailTo(to.c_str());
    SetMailSubject("Grüße 你好");
    SetMailBody("/var/queue/message.eml");
    SetRequestTime(1700000000);
  }
  long GetDeliveryTime() override { return delivery_; }

 private:
  long delivery_;
};

// More lines of the section follow in moreSettings.
inline std::string settingsFile(const std::string& dir, const std::string& connection,
                                const std::string& user, const std::string& password,
                                const std::string& moreSettings = "",
                                const std::string& name = "queue.ini") {
  const std::string file = dir + "/" + name;
  testsupport::writeFile(file, "[DBInfo]\nUserName=" + user + "\nPassword=" + password +
                                   "\nCnnStr=" + connection + "\n" + moreSettings);
  return file;
}

class QueueDbTest : public ::testing::TestWithParam<QueueDatabase> {
 protected:
  void SetUp() override {
    std::string why;
    if (!GetParam().prepare(dir.path(), connection, user, password, why)) {
      if (std::getenv("CI") != nullptr) FAIL() << why;
      GTEST_SKIP() << why;
    }
    file = settingsFile(dir.path(), connection, user, password);
    ASSERT_EQ(queue.Initialize(&reports, file.c_str()), 1) << reports.all();
  }

  // Inserts and returns the stored identifier.
  std::string insert(const std::string& id, long deliveryTime = 0,
                     const std::string& project = "Default Server") {
    TimedMission mission("sender@example.test", "rcpt@example.test", deliveryTime);
    mission.SetMissionID(id.c_str());
    mission.SetSMTPServerProject(project.c_str());
    EXPECT_EQ(queue.InsertMissionToQueueTable(&mission), 1) << reports.all();
    return mission.GetMissionID();
  }

  std::vector<std::string> claimAll(const char* project = "") {
    std::vector<std::string> ids;
    tagDeliveryMail mail;
    while (queue.ClaimDeliveryMission(project, 0, mail) == 1) ids.push_back(mail.szMissionID);
    return ids;
  }

  testsupport::TempDir dir;
  std::string connection, user, password, file;
  Reports reports;
  CMailQueueDBVistor queue;
};

TEST_P(QueueDbTest, StoresAMissionAndHandsItOutOnce) {
  TimedMission mission("Jörg <joerg@example.test>", "rcpt@example.test");
  mission.SetMissionID("given-id");
  mission.SetSMTPServerProject("Route A");
  ASSERT_EQ(queue.InsertMissionToQueueTable(&mission), 1) << reports.all();
  EXPECT_STREQ(mission.GetMissionID(), "given-id");
  EXPECT_EQ(queue.HaveActivedMission(), 1);

  tagDeliveryMail peeked;
  ASSERT_EQ(queue.GetDeliveryMission(nullptr, "", 0, peeked), 1);
  EXPECT_STREQ(peeked.szMissionID, "given-id");
  EXPECT_STREQ(peeked.szMailFrom, "Jörg <joerg@example.test>");
  EXPECT_STREQ(peeked.szMailTo, "rcpt@example.test");
  EXPECT_STREQ(peeked.szSMTPServerProject, "Route A");
  EXPECT_STREQ(peeked.szMailBody, "/var/queue/message.eml");
  // Looking does not hand it out.
  ASSERT_EQ(queue.GetDeliveryMission(nullptr, "", 0, peeked), 1);

  EXPECT_EQ(claimAll(), std::vector<std::string>{"given-id"});
  EXPECT_EQ(queue.HaveActivedMission(), 0);
  tagDeliveryMail none;
  EXPECT_EQ(queue.GetDeliveryMission(nullptr, "", 0, none), 0);
  EXPECT_EQ(queue.GetDeliveryMission(nullptr, "", -1, none), 0);
  // Nothing due is reported as such, both when looking and when taking.
  std::vector<std::string> expected(2,
                                    "CMailQueueDBVistor::GetDeliveryMission: Have no such record");
  EXPECT_EQ(reports.texts(), expected);
}

TEST_P(QueueDbTest, GivesIdentifiersAndResolvesCollisions) {
  const std::string first = insert("");
  const std::string second = insert("");
  const std::regex generated(R"([^.]*(\.[^.]+)*\.[0-9]+\.[0-9]{1,3}(\.[0-9]+)?)");
  EXPECT_TRUE(std::regex_match(first, generated)) << first;
  EXPECT_NE(first, second);

  EXPECT_EQ(insert("x"), "x");
  EXPECT_EQ(insert("x"), "x.1");
  EXPECT_EQ(insert("x"), "x.2");
  EXPECT_EQ(insert("x.1"), "x.1.1");

  // A taken identifier whose next candidate would not fit is refused, not cut.
  const std::string longest(63, 'L');
  EXPECT_EQ(insert(longest), longest);
  TimedMission again("a@example.test", "b@example.test");
  again.SetMissionID(longest.c_str());
  EXPECT_EQ(queue.InsertMissionToQueueTable(&again), 0);
  EXPECT_STREQ(again.GetMissionID(), longest.c_str());
  EXPECT_NE(reports.all().find("Can not add new record into mailqueue table."), std::string::npos);
}

TEST_P(QueueDbTest, OnlyDueMissionsAreHandedOut) {
  const long now = static_cast<long>(std::time(nullptr));
  insert("later", now + 3600);
  insert("handed-out");
  ASSERT_EQ(queue.Modify_State("handed-out", 2), 1);
  EXPECT_EQ(queue.HaveActivedMission(), 0);
  EXPECT_TRUE(claimAll().empty());

  // A host reschedules and resets missions.
  EXPECT_EQ(queue.Modify_DeliveryTime("later", now - 1), 1);
  EXPECT_EQ(queue.Modify_State("handed-out", 0), 1);
  EXPECT_EQ(queue.HaveActivedMission(), 1);
  std::vector<std::string> ids = claimAll();
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<std::string>{"handed-out", "later"}));

  EXPECT_EQ(queue.Modify_DeliveryTime("no-such-mission", now), 0);
  EXPECT_EQ(queue.Modify_State("no-such-mission", 3), 1);
}

TEST_P(QueueDbTest, ServerProjectsAreValuesNotSql) {
  const std::vector<std::string> projects = {"Default Server", "Project With Blanks",
                                             "O'Brien' OR '1'='1", "x'; DROP TABLE MailQueue; --"};
  for (const std::string& project : projects)
    insert("id-" + std::to_string(&project - &projects[0]), 0, project);
  for (std::size_t i = projects.size(); i-- > 0;) {
    tagDeliveryMail mail;
    ASSERT_EQ(queue.ClaimDeliveryMission(projects[i].c_str(), 0, mail), 1)
        << projects[i] << reports.all();
    EXPECT_EQ(std::string(mail.szMissionID), "id-" + std::to_string(i));
    EXPECT_EQ(queue.ClaimDeliveryMission(projects[i].c_str(), 0, mail), 0);
  }
  // The table is still there.
  EXPECT_EQ(insert("after"), "after");
}

TEST_P(QueueDbTest, RemovesOnlyMissionsNotHandedOut) {
  insert("waiting");
  insert("taken");
  EXPECT_EQ(queue.Modify_State("taken", 2), 1);
  EXPECT_EQ(queue.RemoveMission("taken"), 0);
  EXPECT_EQ(queue.RemoveMission("waiting"), 1);
  EXPECT_EQ(queue.RemoveMission("waiting"), 0);
  EXPECT_EQ(queue.HaveActivedMission(), 0);
}

TEST_P(QueueDbTest, ThreadsEachGetADifferentMission) {
  constexpr int kMissions = 600;
  for (int i = 0; i < kMissions; ++i) insert("m" + std::to_string(i));
  // Each taker has its own connection; one more shares the test's.
  constexpr int kTakers = 4;
  std::vector<std::vector<std::string>> taken(kTakers + 1);
  std::vector<std::thread> threads;
  for (int t = 0; t < kTakers; ++t) {
    threads.emplace_back([&, t] {
      Reports ownReports;
      CMailQueueDBVistor own;
      if (own.Initialize(&ownReports, file.c_str()) != 1) return;
      tagDeliveryMail mail;
      while (own.ClaimDeliveryMission("", 0, mail) == 1) taken[t].push_back(mail.szMissionID);
    });
  }
  threads.emplace_back([&] { taken[kTakers] = claimAll(); });
  for (std::thread& thread : threads) thread.join();
  std::vector<std::string> all;
  for (const auto& ids : taken) all.insert(all.end(), ids.begin(), ids.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kMissions));
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end())
      << "a mission was handed out twice";
  EXPECT_EQ(queue.HaveActivedMission(), 0);
}

// A host that died holding missions under a lease: after the lease they are due again; missions
// handed out without a lease stay with their taker.
TEST_P(QueueDbTest, MissionsOfAnExpiredLeaseAreDueAgain) {
  insert("leased");
  insert("kept");
  tagDeliveryMail mail;
  ASSERT_EQ(queue.ClaimDeliveryMission("", 0, mail, 1), 1) << reports.all();
  const std::string leased = mail.szMissionID;
  ASSERT_EQ(queue.ClaimDeliveryMission("", 0, mail), 1);
  const std::string kept = mail.szMissionID;
  tagQueuedMission row;
  ASSERT_EQ(queue.GetQueuedMission(leased.c_str(), row), 1);
  EXPECT_EQ(row.nState, 2u);
  EXPECT_GT(row.tmLeaseUntil, 0);
  EXPECT_EQ(queue.ClaimDeliveryMission("", 0, mail, 60), 0);
  // Only a lease that is held can be extended.
  EXPECT_EQ(queue.RenewLease(kept.c_str(), 60), 0);
  EXPECT_EQ(queue.RenewLease("no-such-mission", 60), 0);

  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  EXPECT_EQ(queue.ClaimDeliveryMission("", 0, mail), 0) << "only a lease taker takes it over";
  ASSERT_EQ(queue.ClaimDeliveryMission("", 0, mail, 60), 1);
  EXPECT_EQ(std::string(mail.szMissionID), leased);
  EXPECT_EQ(queue.ClaimDeliveryMission("", 0, mail, 60), 0) << kept << " was taken without lease";
  // The new holder extends its lease: the mission stays with it.
  ASSERT_EQ(queue.RenewLease(leased.c_str(), 3600), 1);
  ASSERT_EQ(queue.GetQueuedMission(leased.c_str(), row), 1);
  EXPECT_GT(row.tmLeaseUntil, static_cast<long>(std::time(nullptr)) + 3000);
}

TEST_P(QueueDbTest, AttemptsAreRecordedAndListed) {
  const long now = static_cast<long>(std::time(nullptr));
  insert("first");
  insert("second", now + 600);
  tagDeliveryMail mail;
  ASSERT_EQ(queue.ClaimDeliveryMission("", 0, mail, 60), 1);
  const std::string reply = "550 5.1.1 <nobody@example.test>: Recipient address rejected\r\n'; --";
  ASSERT_EQ(queue.RecordDeliveryAttempt("first", 1, now + 30, reply.c_str()), 1);
  tagQueuedMission row;
  ASSERT_EQ(queue.GetQueuedMission("first", row), 1);
  EXPECT_EQ(row.nState, 1u);
  EXPECT_EQ(row.nTries, 1);
  EXPECT_EQ(row.tmDelivery, now + 30);
  EXPECT_EQ(row.tmLeaseUntil, 0);
  EXPECT_EQ(row.sLastReply, reply);
  EXPECT_EQ(row.sMailTo, "rcpt@example.test");
  EXPECT_EQ(row.sSubject, "Grüße 你好");
  EXPECT_EQ(queue.RecordDeliveryAttempt("first", 4, 0, std::string(5000, 'x').c_str()), 1);
  EXPECT_EQ(queue.RecordDeliveryAttempt("no-such-mission", 3, 0, ""), 0);

  std::vector<tagQueuedMission> rows;
  ASSERT_EQ(queue.ListMissions(rows), 1);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].sMissionID, "first");
  EXPECT_EQ(rows[0].nTries, 2);
  EXPECT_EQ(rows[0].nState, 4u);
  EXPECT_EQ(rows[0].sLastReply.size(), 2000u);
  EXPECT_EQ(rows[1].sMissionID, "second");
  EXPECT_EQ(rows[1].nTries, 0);
  EXPECT_EQ(rows[1].tmDelivery, now + 600);
  EXPECT_EQ(queue.GetQueuedMission("no-such-mission", row), 0);
}

// A table made before the delivery columns existed gets them when the queue opens it.
TEST_P(QueueDbTest, AnOlderTableGetsTheNewColumns) {
  {
    CADODatabase database;
    ASSERT_TRUE(database.Open(connection, user, password)) << database.GetLastErrorString();
    ASSERT_TRUE(database.Execute("DROP TABLE MailQueue"));
    ASSERT_TRUE(database.Execute(
        "CREATE TABLE MailQueue (MissionID VARCHAR(63) NOT NULL PRIMARY KEY, MailFrom TEXT, "
        "MailTo TEXT, MailSubject TEXT, MailBody TEXT, MailSize INTEGER, RequestTime INTEGER, "
        "DeliveryTime INTEGER, MailServerProject TEXT, State INTEGER NOT NULL DEFAULT 0)"));
    ASSERT_TRUE(database.Execute(
        "INSERT INTO MailQueue VALUES ('old', 'a@example.test', 'b@example.test', 's', '/q/m', "
        "1, 1, 0, 'Default Server', 0)"));
  }
  CMailQueueDBVistor reopened;
  ASSERT_EQ(reopened.Initialize(&reports, file.c_str()), 1) << reports.all();
  tagDeliveryMail mail;
  ASSERT_EQ(reopened.ClaimDeliveryMission("", 0, mail, 60), 1) << reports.all();
  ASSERT_EQ(reopened.RecordDeliveryAttempt("old", 3, 0, "250 ok"), 1);
  tagQueuedMission row;
  ASSERT_EQ(reopened.GetQueuedMission("old", row), 1);
  EXPECT_EQ(row.nTries, 1);
  EXPECT_EQ(row.nState, 3u);
}

// Another session holds the table: a call fails within its time limit, says why, and changes
// nothing; once the lock is gone the same calls work.
TEST_P(QueueDbTest, ACallThatWaitsForALockRunsOutOfTimeAndTheNextOneWorks) {
  insert("held");
  const std::string impatientFile =
      settingsFile(dir.path(), connection, user, password, "QueryTimeout=1\n", "impatient.ini");
  Reports impatientReports;
  CMailQueueDBVistor impatient;
  ASSERT_EQ(impatient.Initialize(&impatientReports, impatientFile.c_str()), 1)
      << impatientReports.all();

  CADODatabase holder;
  ASSERT_TRUE(holder.Open(connection, user, password)) << holder.GetLastErrorString();
  const bool postgresql = holder.Engine() == SqlEngine::PostgreSQL;
  // SQLite readers go on beside a writer's lock; a second writer waits.
  ASSERT_TRUE(holder.Execute(postgresql ? "BEGIN" : "BEGIN EXCLUSIVE"))
      << holder.GetLastErrorString();
  if (postgresql) {
    ASSERT_TRUE(holder.Execute("LOCK TABLE MailQueue IN ACCESS EXCLUSIVE MODE"))
        << holder.GetLastErrorString();
  }

  auto whileLocked = std::async(std::launch::async, [&] {
    tagDeliveryMail mail;
    TimedMission added("a@example.test", "b@example.test");
    added.SetMissionID("added");
    const int claimed = impatient.ClaimDeliveryMission("", 0, mail, 60);
    return std::make_pair(claimed, impatient.InsertMissionToQueueTable(&added));
  });
  // Generous: without a limit the calls would wait for as long as the lock is held.
  const bool returned = whileLocked.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  EXPECT_TRUE(holder.Execute("ROLLBACK")) << holder.GetLastErrorString();
  EXPECT_TRUE(returned) << "a call waited for the lock beyond its time limit";
  EXPECT_EQ(whileLocked.get(), std::make_pair(0, 0));
  const std::vector<std::string> texts = impatientReports.texts();
  ASSERT_EQ(texts.size(), 2u) << impatientReports.all();
  EXPECT_EQ(
      texts[0].rfind("CMailQueueDBVistor::GetDeliveryMission: Failed to open Ado table.Error:", 0),
      0u)
      << texts[0];
  EXPECT_EQ(texts[1].rfind("CMailQueueDBVistor::InsertMissionToQueueTable: ", 0), 0u) << texts[1];
  EXPECT_NE(texts[1].find("Error:\nCode = "), std::string::npos) << texts[1];

  tagQueuedMission row;
  ASSERT_EQ(impatient.GetQueuedMission("held", row), 1);
  EXPECT_EQ(row.nState, 0u);
  EXPECT_EQ(row.tmLeaseUntil, 0);
  EXPECT_EQ(impatient.GetQueuedMission("added", row), 0);
  tagDeliveryMail mail;
  ASSERT_EQ(impatient.ClaimDeliveryMission("", 0, mail, 60), 1) << impatientReports.all();
  EXPECT_STREQ(mail.szMissionID, "held");
  EXPECT_STREQ(mail.szMailBody, "/var/queue/message.eml");
  TimedMission added("a@example.test", "b@example.test");
  added.SetMissionID("added");
  EXPECT_EQ(impatient.InsertMissionToQueueTable(&added), 1) << impatientReports.all();
  EXPECT_STREQ(added.GetMissionID(), "added");
}

TEST_P(QueueDbTest, AnUnreachableDatabaseIsReportedWithoutItsPassword) {
  const std::string secret = "Sup3r-Secret-pw";
  testsupport::TempDir other;
  const std::string failing =
      settingsFile(other.path(), GetParam().unreachable(other.path()) + ";PWD={" + secret + "-2}",
                   "mailtest", secret);
  Reports failures;
  CMailQueueDBVistor unreachable;
  EXPECT_EQ(unreachable.Initialize(&failures, failing.c_str()), 0);
  ASSERT_FALSE(failures.texts().empty());
  const std::string text = failures.all();
  EXPECT_EQ(
      text.rfind("CMailQueueDBVistor::Initialize: Failed to open database . Error:\nCode = ", 0), 0)
      << text;
  EXPECT_EQ(text.find("Sup3r-Secret"), std::string::npos) << text;

  // Nothing is queued or handed out, and each operation says why.
  failures.clear();
  TimedMission mission("a@example.test", "b@example.test");
  EXPECT_EQ(unreachable.InsertMissionToQueueTable(&mission), 0);
  tagDeliveryMail mail;
  EXPECT_EQ(unreachable.ClaimDeliveryMission("", 0, mail), 0);
  EXPECT_EQ(unreachable.HaveActivedMission(), 0);
  EXPECT_EQ(
      failures.texts(),
      (std::vector<std::string>{
          "CMailQueueDBVistor::InsertMissionToQueueTable: Failed to open Ado table.Invalid "
          "Connection",
          "CMailQueueDBVistor::GetDeliveryMission: Failed to open Ado table.Invalid Connection"}));
}

TEST(QueueDbBeforeInitialize, ReportsNothingAndFindsNothing) {
  Reports reports;
  CMailQueueDBVistor queue;
  EXPECT_EQ(queue.HaveActivedMission(), 0);
  EXPECT_TRUE(reports.texts().empty());
  TimedMission mission("a@example.test", "b@example.test");
  EXPECT_EQ(queue.InsertMissionToQueueTable(&mission), 0);
  EXPECT_EQ(queue.Modify_State("x", 2), 0);
}

}  // namespace queuetest
