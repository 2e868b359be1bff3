#pragma once
// mailqueue from submission to the recipient's mailbox: the program queues into a database,
// delivers through the private Postfix into Dovecot's mailboxes, and the messages are fetched back
// over POP3 and taken apart. A test file instantiates MailQueueEndToEnd with its database.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "groundkit/groundkit.h"
#include "postfix_peer.h"
#include "postwell/mail_queue_db.h"
#include "program.h"
#include "temp_dir.h"

namespace mailqueuetest {

// A database for the queue: the "DBInfo" lines of an empty queue, or false with the reason.
struct Database {
  std::string name;
  std::function<bool(const std::string& dir, std::string& dbInfo, std::string& why)> prepare;
};

class MailQueueEndToEnd : public ::testing::TestWithParam<Database> {
 protected:
  void SetUp() override {
    std::string why;
    if (!postfix::find(peers, why) || !GetParam().prepare(dir.path(), dbInfo, why))
      SKIP_OR_FAIL_WITHOUT_PEER(why);
    for (const char* user : {"bob", "boss"}) peers.dovecot.clear(user);
  }

  // Short delays and a small lease, so that retries and recovery happen within the test.
  void writeSettings(int batchSize = 100, long lease = 600, int maxTries = 3) {
    testsupport::writeFile(
        settings, "[DBInfo]\n" + dbInfo +
                      "[Delivery]\nSpool=spool\nRetryDelay=1\nMaxRetryDelay=1\n" +
                      "MaxTries=" + std::to_string(maxTries) + "\nLease=" + std::to_string(lease) +
                      "\nBatchSize=" + std::to_string(batchSize) +
                      "\nPollInterval=1\n[Default Server]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" +
                      std::to_string(peers.smtpPort) + "\nTIMEOUT=30\n");
  }

  Outcome mailqueue(std::vector<std::string> args) {
    args.insert(args.begin(), {"--settings", settings});
    return run(dir, args);
  }

  std::vector<tagQueuedMission> missions() {
    CMailQueueDBVistor queue;
    std::vector<tagQueuedMission> rows;
    EXPECT_EQ(queue.Initialize(nullptr, settings.c_str()), 1);
    EXPECT_EQ(queue.ListMissions(rows), 1);
    return rows;
  }

  std::size_t countIn(unsigned state) {
    const auto rows = missions();
    return static_cast<std::size_t>(std::count_if(
        rows.begin(), rows.end(), [&](const tagQueuedMission& m) { return m.nState == state; }));
  }

  std::size_t spoolFiles() {
    std::size_t n = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("spool"), error)) {
      (void)entry;
      ++n;
    }
    return n;
  }

  // The expected number of messages, and any more that arrive within a second after them.
  std::vector<std::string> deliveredWithStragglers(const std::string& user, std::size_t expected) {
    std::vector<std::string> all = postfix::delivered(peers, user, expected);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    for (std::string& m : postfix::takeAll(peers.dovecot.port(), user)) all.push_back(std::move(m));
    return all;
  }

  testsupport::TempDir dir;
  std::string settings = dir.file("mailqueue.ini");
  std::string dbInfo;
  postfix::Peers peers;
};

// The contents of the message's parts, as the library's decoding takes them apart.
inline std::multiset<std::string> partsOf(const testsupport::TempDir& dir, const std::string& text,
                                          int n) {
  const std::string file = dir.file("fetched" + std::to_string(n) + ".eml");
  const std::string parts = dir.file("parts" + std::to_string(n));
  testsupport::writeFile(file, text);
  std::filesystem::create_directory(parts);
  std::vector<std::string> files;
  unsigned long error = 0;
  EXPECT_EQ(BSCFEM_D_GetAttachFileFromEmail(file.c_str(), parts.c_str(), files, error), 1) << error;
  std::multiset<std::string> contents;
  for (const std::string& f : files) contents.insert(testsupport::readFile(f));
  return contents;
}

TEST_P(MailQueueEndToEnd, ComposedMessagesArriveWithTheirBodiesAndAttachments) {
  writeSettings();
  std::string binary(40000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7 + i / 251);
  testsupport::writeFile(dir.file("data.bin"), binary);
  testsupport::writeFile(dir.file("notes.txt"), ".a line with a leading dot\n.\nend\n");
  // body -> the contents of its parts, for each recipient
  std::map<std::string, std::multiset<std::string>> expected;
  std::map<std::string, int> perUser;
  std::size_t missionCount = 0;
  for (int i = 0; i < 50; ++i) {
    const std::string body = "Body of message " + std::to_string(i) + "\r\n.\r\n第二行\r\n";
    testsupport::writeFile(dir.file("body.txt"), body);
    std::vector<std::string> args = {"submit",
                                     "--from",
                                     "clerk@example.test",
                                     "--to",
                                     "bob@example.test",
                                     "--subject",
                                     "message " + std::to_string(i),
                                     "--body-file",
                                     dir.file("body.txt")};
    std::multiset<std::string> parts{body};
    if (i % 3 == 0) {
      args.insert(args.end(),
                  {"--attach", dir.file("data.bin"), "--attach", dir.file("notes.txt")});
      parts.insert(binary);
      parts.insert(testsupport::readFile(dir.file("notes.txt")));
    }
    ++perUser["bob"];
    if (i % 5 == 0) {
      args.insert(args.end(), {"--to", "boss@example.test"});
      ++perUser["boss"];
    }
    const Outcome submitted = mailqueue(args);
    ASSERT_EQ(submitted.status, 0) << submitted.err;
    const std::size_t ids =
        static_cast<std::size_t>(std::count(submitted.out.begin(), submitted.out.end(), '\n'));
    EXPECT_EQ(ids, i % 5 == 0 ? 2u : 1u) << submitted.out;
    missionCount += ids;
    expected[body] = parts;
  }
  ASSERT_EQ(countIn(0), missionCount);

  const Outcome delivered = mailqueue({"run", "--once"});
  ASSERT_EQ(delivered.status, 0) << delivered.err;
  EXPECT_EQ(delivered.out, std::to_string(missionCount) + " sent, 0 rescheduled, 0 given up\n")
      << delivered.err;
  for (const tagQueuedMission& m : missions()) {
    EXPECT_EQ(m.nState, 3u) << m.sMissionID << " " << m.sLastReply;
    EXPECT_EQ(m.nTries, 1);
    EXPECT_EQ(m.sLastReply.rfind("250", 0), 0u) << m.sLastReply;
  }
  EXPECT_EQ(spoolFiles(), 0u) << "a sent mission's file stays in the spool";

  int n = 0;
  for (const auto& [user, count] : perUser) {
    const std::vector<std::string> messages =
        postfix::delivered(peers, user, static_cast<std::size_t>(count));
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(count)) << user;
    std::set<std::string> seen;
    for (const std::string& text : messages) {
      const std::multiset<std::string> parts = partsOf(dir, text, n++);
      const auto body = std::find_if(parts.begin(), parts.end(),
                                     [&](const std::string& p) { return expected.count(p) != 0; });
      ASSERT_NE(body, parts.end()) << text.substr(0, 2000);
      EXPECT_TRUE(parts == expected[*body]) << *body;
      EXPECT_TRUE(seen.insert(*body).second) << "delivered twice to " << user << ": " << *body;
    }
  }

  const Outcome listed = mailqueue({"list"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(static_cast<std::size_t>(std::count(listed.out.begin(), listed.out.end(), '\n')),
            missionCount + 1);
}

TEST_P(MailQueueEndToEnd, RefusedRecipientIsRetriedThenGivenUpWithTheReply) {
  writeSettings(100, 600, 3);
  testsupport::writeFile(dir.file("plain.eml"),
                         "From: clerk@example.test\nTo: bob@example.test\nSubject: refused\n\n"
                         ".leading dot\nbody\n");
  const Outcome submitted =
      mailqueue({"submit", "--from", "clerk@example.test", "--to", "bob@example.test", "--to",
                 "nobody@example.test", "--eml", dir.file("plain.eml")});
  ASSERT_EQ(submitted.status, 0) << submitted.err;
  const std::string refusedId = submitted.out.substr(
      submitted.out.find('\n') + 1, submitted.out.size() - submitted.out.find('\n') - 2);

  for (int attempt = 1; attempt <= 3; ++attempt) {
    if (attempt > 1) std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const Outcome delivered = mailqueue({"run", "--once"});
    ASSERT_EQ(delivered.status, 0) << delivered.err;
    EXPECT_EQ(delivered.out, attempt == 1   ? "1 sent, 1 rescheduled, 0 given up\n"
                             : attempt == 2 ? "0 sent, 1 rescheduled, 0 given up\n"
                                            : "0 sent, 0 rescheduled, 1 given up\n");
    for (const tagQueuedMission& m : missions()) {
      if (m.sMissionID != refusedId) {
        EXPECT_EQ(m.nState, 3u);
        EXPECT_EQ(m.nTries, 1);
        continue;
      }
      EXPECT_EQ(m.nState, attempt < 3 ? 1u : 4u);
      EXPECT_EQ(m.nTries, attempt);
      EXPECT_NE(m.sLastReply.find("550"), std::string::npos) << m.sLastReply;
      EXPECT_NE(m.sLastReply.find("nobody@example.test"), std::string::npos) << m.sLastReply;
    }
  }
  const std::vector<std::string> messages = postfix::delivered(peers, "bob", 1);
  ASSERT_EQ(messages.size(), 1u);
  // The plain message went out in transfer form and came back as it was written.
  EXPECT_NE(messages[0].find("\r\n..leading dot\r\nbody\r\n"), std::string::npos) << messages[0];
  // A given-up mission keeps its message file for the administrator.
  EXPECT_EQ(spoolFiles(), 1u);

  const Outcome listed = mailqueue({"list", "--json"});
  EXPECT_NE(listed.out.find("\"state\": \"failed\", \"stateCode\": 4, \"tries\": 3"),
            std::string::npos)
      << listed.out;
  // The subject of a whole message comes from its header.
  EXPECT_NE(listed.out.find("\"subject\": \"refused\""), std::string::npos) << listed.out;
}

// A run killed while it sends: a new run after the lease delivers the rest; only a mission the
// server had accepted when the run died can arrive twice.
TEST_P(MailQueueEndToEnd, KilledRunLosesNothing) {
  constexpr int kMissions = 120;
  writeSettings(kMissions, 2);
  testsupport::writeFile(dir.file("m.eml"), "Subject: crash\n\n" + std::string(20000, 'x') + "\n");
  std::vector<std::string> args = {"submit", "--from", "clerk@example.test", "--eml",
                                   dir.file("m.eml")};
  for (int i = 0; i < kMissions; ++i) args.insert(args.end(), {"--to", "bob@example.test"});
  ASSERT_EQ(mailqueue(args).status, 0);

  const pid_t pid =
      start({"--settings", settings, "run", "--once"}, dir.file("run.out"), dir.file("run.err"));
  ASSERT_GT(pid, 0);
  std::size_t sentBeforeKill = 0;
  for (int i = 0; i < 3000 && sentBeforeKill < 5; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    sentBeforeKill = countIn(3);
  }
  ::kill(pid, SIGKILL);
  EXPECT_EQ(wait(pid), -1);
  sentBeforeKill = countIn(3);
  ASSERT_GE(sentBeforeKill, 5u);
  ASSERT_LT(sentBeforeKill, static_cast<std::size_t>(kMissions)) << "the run ended before the kill";
  EXPECT_GT(countIn(2), 0u);

  // Before the lease runs out nothing is handed out again.
  const Outcome early = mailqueue({"run", "--once"});
  EXPECT_EQ(early.out, "0 sent, 0 rescheduled, 0 given up\n") << early.err;
  // Times are whole seconds: a lease of 2 s has run out after 3 s at the latest.
  std::this_thread::sleep_for(std::chrono::milliseconds(3100));
  const Outcome again = mailqueue({"run", "--once"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out,
            std::to_string(kMissions - sentBeforeKill) + " sent, 0 rescheduled, 0 given up\n");
  EXPECT_EQ(countIn(3), static_cast<std::size_t>(kMissions));

  const std::vector<std::string> messages = deliveredWithStragglers("bob", kMissions);
  EXPECT_GE(messages.size(), static_cast<std::size_t>(kMissions));
  EXPECT_LE(messages.size(), static_cast<std::size_t>(kMissions) + 1);
  // A run killed between recording a mission as sent and removing its file leaves that file.
  EXPECT_LE(spoolFiles(), 1u);
}

// Without --once a run keeps looking for due missions, and ends soon after SIGTERM.
TEST_P(MailQueueEndToEnd, RunKeepsGoingUntilTerminated) {
  writeSettings();
  const pid_t pid =
      start({"--settings", settings, "run"}, dir.file("run.out"), dir.file("run.err"));
  ASSERT_GT(pid, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  testsupport::writeFile(dir.file("m.eml"), "Subject: later\n\nqueued while running\n");
  ASSERT_EQ(mailqueue({"submit", "--from", "clerk@example.test", "--to", "boss@example.test",
                       "--eml", dir.file("m.eml")})
                .status,
            0);
  for (int i = 0; i < 200 && countIn(3) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(countIn(3), 1u);
  const auto stopping = std::chrono::steady_clock::now();
  ::kill(pid, SIGTERM);
  EXPECT_EQ(wait(pid), 0) << testsupport::readFile(dir.file("run.err"));
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(2));
  EXPECT_EQ(testsupport::readFile(dir.file("run.out")), "1 sent, 0 rescheduled, 0 given up\n");
  EXPECT_EQ(postfix::delivered(peers, "boss", 1).size(), 1u);
}

// Two runs on one queue: each mission goes out once.
TEST_P(MailQueueEndToEnd, TwoRunsDeliverEachMissionOnce) {
  constexpr int kMissions = 60;
  writeSettings(5);
  testsupport::writeFile(dir.file("m.eml"), "Subject: shared\n\nshared queue\n");
  std::vector<std::string> args = {"submit", "--from", "clerk@example.test", "--eml",
                                   dir.file("m.eml")};
  for (int i = 0; i < kMissions; ++i)
    args.insert(args.end(), {"--to", i % 2 ? "bob@example.test" : "boss@example.test"});
  ASSERT_EQ(mailqueue(args).status, 0);

  std::vector<pid_t> runs;
  for (int r = 0; r < 2; ++r)
    runs.push_back(start({"--settings", settings, "run", "--once"},
                         dir.file("run" + std::to_string(r) + ".out"),
                         dir.file("run" + std::to_string(r) + ".err")));
  int sent = 0;
  for (int r = 0; r < 2; ++r) {
    ASSERT_EQ(wait(runs[static_cast<std::size_t>(r)]), 0)
        << testsupport::readFile(dir.file("run" + std::to_string(r) + ".err"));
    sent += std::atoi(testsupport::readFile(dir.file("run" + std::to_string(r) + ".out")).c_str());
  }
  EXPECT_EQ(sent, kMissions);
  for (const tagQueuedMission& m : missions()) {
    EXPECT_EQ(m.nState, 3u) << m.sMissionID;
    EXPECT_EQ(m.nTries, 1) << m.sMissionID;
  }
  for (const char* user : {"bob", "boss"}) {
    const auto messages = deliveredWithStragglers(user, kMissions / 2);
    EXPECT_EQ(messages.size(), static_cast<std::size_t>(kMissions / 2)) << user;
  }
}

}  // namespace mailqueuetest
