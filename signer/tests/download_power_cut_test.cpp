// Power cuts while Signer downloads a held message: the check runs in a process of its own against
// the mail-server stand-in and is killed before each call through which it changes files. After
// every kill the message is whole in a task or still on the server, and a following normal check
// ends with exactly one complete task holding the whole message and the server's copy deleted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "current_dir.h"
#include "kill_at_step.h"
#include "store/task_store.h"
#include "temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const char kUser[] = "boss";
const char kPassword[] = "boss-pw";

std::string HeldMessage() {
  std::string body;
  for (int line = 0; line < 200; ++line)
    body += "Line " + std::to_string(line) + " of the quarterly figures, not to be cut short.\r\n";
  return "Received: from pc1.demo.test by demo.test with ESMTP id md5000000007.msg\r\n"
         "\tfor <boss@demo.test>\r\n"
         "From: \"Alice\" <alice@demo.test>\r\nTo: bob@example.test\r\nSubject: Figures\r\n\r\n" +
         body;
}

// The mail-server stand-in as a process of its own, with the supervisor's mailbox.
class Sandbox {
 public:
  Sandbox() {
    Run({MAILSANDBOX_PATH, "--root", dir_.path(), "--add-mailbox", "boss@demo.test", "--password",
         kPassword});
    std::vector<std::string> arguments{MAILSANDBOX_PATH, "--root", dir_.path(), "--smtp-port", "0",
                                       "--pop3-port",    "0"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, LogPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    const std::string listening = "POP3 listening on 127.0.0.1:";
    for (int attempt = 0; attempt < 1000 && pid_ > 0 && port_ == 0; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const std::string log = Log();
      const std::size_t at = log.find(listening);
      if (at != std::string::npos) port_ = std::atoi(log.c_str() + at + listening.size());
    }
  }
  ~Sandbox() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }

  int Pop3Port() const { return port_; }
  std::string Log() const { return fs::exists(LogPath()) ? testsupport::readFile(LogPath()) : ""; }
  std::string MailboxDirectory() const { return dir_.file("Users/demo.test/boss"); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const auto& entry : fs::directory_iterator(MailboxDirectory()))
      if (entry.path().extension() == ".msg")
        messages.push_back(testsupport::readFile(entry.path().string()));
    return messages;
  }
  // The held message as the only one in the mailbox.
  void Hold(const std::string& message) const {
    for (const auto& entry : fs::directory_iterator(MailboxDirectory()))
      if (entry.path().extension() == ".msg") fs::remove(entry.path());
    testsupport::writeFile(MailboxDirectory() + "/md5000000007.msg", message);
  }
  // Waits until every POP3 session has ended (a killed client's session ends when the stand-in
  // notices the closed connection, and only then is the mailbox free again).
  bool WaitForSessionsToEnd() const {
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const std::string log = Log();
      if (Count(log, " connected") == Count(log, " closed")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

 private:
  static std::size_t Count(const std::string& text, const std::string& word) {
    std::size_t count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
      ++count;
    return count;
  }
  static void Run(const std::vector<std::string>& arguments) {
    std::string command;
    for (const std::string& argument : arguments) command += "'" + argument + "' ";
    std::system((command + ">/dev/null").c_str());
  }
  std::string LogPath() const { return log_.file("log"); }

  testsupport::TempDir dir_;
  testsupport::TempDir log_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// The exit code of the program; -1 when it did not run or end normally.
int RunProgram(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DownloadPowerCut : public ::testing::Test {
 protected:
  std::vector<std::string> Driver() const {
    return {DOWNLOAD_DRIVER, std::to_string(sandbox.Pop3Port()), kUser, kPassword};
  }
  static void ExpectWhole(const std::string& id, const std::string& message,
                          const std::string& step) {
    const std::string held = testsupport::readFile(TaskMessagePath("HOME_boss", id));
    EXPECT_TRUE(held == message) << step << ": task " << id << " holds " << held.size() << " of "
                                 << message.size() << " bytes";
  }
  // Every complete task holds the whole message; the message is in a task or on the server.
  static void ExpectNothingLost(const Sandbox& sandbox, const std::string& message,
                                const std::string& step) {
    const std::vector<std::string> tasks = StoredTaskIds("HOME_boss");
    for (const std::string& id : tasks) ExpectWhole(id, message, step);
    EXPECT_TRUE(!tasks.empty() || !sandbox.Messages().empty()) << step << ": the message is gone";
  }

  Sandbox sandbox;
};

TEST_F(DownloadPowerCut, EveryStepLeavesTheMessageWholeInExactlyOneTask) {
  REQUIRE_KILL_AT_STEP();
  ASSERT_NE(sandbox.Pop3Port(), 0) << sandbox.Log();
  const std::string message = HeldMessage();
  int kills = 0;
  for (const std::string& call : testsupport::FileChangingCalls()) {
    for (int n = 1;; ++n) {
      const std::string step = call + " #" + std::to_string(n);
      CurrentTempDir dir;
      sandbox.Hold(message);
      const testsupport::StepRun run = testsupport::RunKilledAtCall(Driver(), call, n);
      ASSERT_TRUE(sandbox.WaitForSessionsToEnd()) << step << "\n" << sandbox.Log();
      if (!run.killed) {
        ASSERT_EQ(run.exitCode, 0) << step;
      } else {
        ++kills;
        ExpectNothingLost(sandbox, message, step);
        // The next start: load and check again.
        ASSERT_EQ(RunProgram(Driver()), 0) << step;
        ASSERT_TRUE(sandbox.WaitForSessionsToEnd()) << step << "\n" << sandbox.Log();
      }
      const std::vector<std::string> tasks = StoredTaskIds("HOME_boss");
      ASSERT_EQ(tasks.size(), 1u) << step;
      ExpectWhole(tasks[0], message, step);
      EXPECT_EQ(ReadTaskHead(TaskHeadPath("HOME_boss", tasks[0]), 1023).WaterId,
                "with ESMTP id md5000000007")
          << step;
      EXPECT_TRUE(sandbox.Messages().empty()) << step << ": the server still holds the message";
      if (!run.killed) break;
    }
  }
  EXPECT_GT(kills, 0);
}

}  // namespace
