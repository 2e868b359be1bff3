#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "groundkit/groundkit.h"
#include "platform/local_channel.h"

#ifndef DEBUGMONITOR_PATH
#error "DEBUGMONITOR_PATH must name the built debugmonitor program"
#endif

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> linesContaining(const std::string& text, const std::string& part) {
  std::vector<std::string> found;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.find(part) != std::string::npos) found.push_back(line);
  }
  return found;
}

std::string localDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d", &local));
}

// Sets (or, with null, removes) an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_.c_str(), old_->c_str(), 1) : ::unsetenv(name_.c_str()); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// The log directory beside this test program. Test processes that write there take turns (other
// test cases may run at the same time in their own processes), every line a test writes carries
// its marker, and the log files a test created are removed afterwards.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::path executableDirectory = fs::canonical("/proc/self/exe").parent_path();
    logDirectory_ = executableDirectory / "log";
    turn_ = ::open(executableDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(turn_, 0);
    ASSERT_EQ(::flock(turn_, LOCK_EX), 0);
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(logDirectory_, ignored)) before_.insert(entry.path());
    marker_ = "groundkit-log-test-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(logDirectory_, ignored)) {
      if (!before_.count(entry.path())) fs::remove(entry.path(), ignored);
    }
    if (turn_ >= 0) ::close(turn_);
  }

  std::string logFile(const std::string& name) const { return readFile(logDirectory_ / name); }

  fs::path logDirectory_;
  std::string marker_;

 private:
  ScopedEnv besideTheProgram_{"MAILSIGNOFF_LOG_DIR", nullptr};
  int turn_ = -1;
  std::set<fs::path> before_;
};

// ---- Log kinds and their files ----

struct KindCase {
  unsigned int kind;
  const char* name;
  bool dated;
};

class LogKinds : public LogTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(LogKinds, WriteTheirLinesToTheirFile) {
  ScopedEnv faxDevice("FAXDEVCD", "1");
  ScopedEnv mission("MISSIONCD", "1");
  const KindCase& c = GetParam();

  std::string dateBefore = localDate();
  char path[1024];
  BSCF_GetLoggingFile(c.kind, path);
  BSCF_LoggingInfo0(marker_.c_str(), c.kind);
  std::string dateAfter = localDate();

  // The dated name follows the date of the call (which may have just passed midnight).
  std::string name = c.dated ? std::string(c.name) + " " + dateBefore + ".log" : std::string(c.name) + ".log";
  if (c.dated && dateAfter != dateBefore && fs::path(path).filename() != name)
    name = std::string(c.name) + " " + dateAfter + ".log";
  EXPECT_EQ(fs::path(path), logDirectory_ / name);
  EXPECT_EQ(linesContaining(logFile(name), marker_), std::vector<std::string>{marker_ + "\r"});
}

INSTANTIATE_TEST_SUITE_P(Table, LogKinds,
                         ::testing::Values(KindCase{1, "System", true}, KindCase{2, "SendFax", true},
                                           KindCase{3, "RecFax", true}, KindCase{4, "SendMail", true},
                                           KindCase{5, "Debug_FaxDevC", false}, KindCase{6, "Debug_MissionC", false},
                                           KindCase{7, "Connect", true}, KindCase{8, "Forward", true},
                                           KindCase{0, "Debug", false}, KindCase{9, "Debug", false},
                                           KindCase{4294967295u, "Debug", false}));

struct SwitchCase {
  unsigned int kind;
  const char* variable;
  const char* value;  // null: unset
  int expected;
};

class SwitchedKinds : public LogTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchedKinds, WriteOnlyWhileTheirVariableHoldsANonZeroNumber) {
  const SwitchCase& c = GetParam();
  ScopedEnv variable(c.variable, c.value);
  const std::string file = c.kind == 5 ? "Debug_FaxDevC.log" : "Debug_MissionC.log";

  EXPECT_EQ(BSCF_IsStartRecordLog(c.kind), c.expected);
  BSCF_LoggingInfo0(marker_.c_str(), c.kind);
  EXPECT_EQ(linesContaining(logFile(file), marker_).size(), c.expected != 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Variables, SwitchedKinds,
                         ::testing::Values(SwitchCase{5, "FAXDEVCD", nullptr, 0}, SwitchCase{5, "FAXDEVCD", "", 0},
                                           SwitchCase{5, "FAXDEVCD", "0", 0}, SwitchCase{5, "FAXDEVCD", "1", 1},
                                           SwitchCase{5, "FAXDEVCD", "7abc", 7}, SwitchCase{5, "FAXDEVCD", "abc", 0},
                                           SwitchCase{6, "MISSIONCD", nullptr, 0}, SwitchCase{6, "MISSIONCD", "0", 0},
                                           SwitchCase{6, "MISSIONCD", "3", 3}));

TEST(LogSwitch, OtherKindsAreAlwaysWritten) {
  ScopedEnv faxDevice("FAXDEVCD", "0");
  for (unsigned int kind : {0u, 1u, 4u, 7u, 8u, 9u}) EXPECT_EQ(BSCF_IsStartRecordLog(kind), 1) << kind;
}

// ---- Line formats ----

TEST_F(LogTest, LoggingInfo1PutsDateAndTimeAndATabInFront) {
  BSCF_LoggingInfo1(marker_.c_str(), 4);
  char path[1024];
  BSCF_GetLoggingFile(4, path);

  auto lines = linesContaining(readFile(path), marker_);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d\t)" + marker_ + "\r")))
      << lines[0];
}

TEST_F(LogTest, LoggingInfo2And3FormatTheirNumbersWithoutATimeStamp) {
  BSCF_LoggingInfo2((marker_ + " queued=%d").c_str(), 42, 9);
  BSCF_LoggingInfo3((marker_ + " sent=%d failed=%d").c_str(), 3, -4, 9);

  EXPECT_EQ(linesContaining(logFile("Debug.log"), marker_),
            (std::vector<std::string>{marker_ + " queued=42\r", marker_ + " sent=3 failed=-4\r"}));
}

TEST_F(LogTest, ConcurrentLinesNeverMix) {
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 100;
  auto lineOf = [this](int thread, int index) {
    return marker_ + " " + std::to_string(thread) + ":" + std::to_string(index) + " " +
           std::string(3000, static_cast<char>('a' + thread));
  };
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < kLinesPerThread; ++i) BSCF_LoggingInfo0(lineOf(t, i).c_str(), 0);
    });
  }
  for (auto& writer : writers) writer.join();

  std::multiset<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLinesPerThread; ++i) expected.insert(lineOf(t, i) + "\r");
  }
  auto written = linesContaining(logFile("Debug.log"), marker_);
  EXPECT_EQ(std::multiset<std::string>(written.begin(), written.end()), expected);
}

// ---- The debug channel ----

// A temporary directory holding the socket and the captured output of a debugmonitor process.
class DebugMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "groundkit-monitor-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    socket_ = (directory_ / "monitor.sock").string();
  }

  void TearDown() override {
    if (monitor_ > 0) {
      EXPECT_EQ(stopMonitor(SIGTERM), 0);
    }
    fs::remove_all(directory_);
  }

  void startMonitor() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (directory_ / "out.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string program = DEBUGMONITOR_PATH;
    char* argv[] = {program.data(), socket_.data(), nullptr};
    int rc = ::posix_spawn(&monitor_, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(rc, 0) << program;
    ASSERT_TRUE(waitUntilAnswering()) << "the monitor did not start listening";
  }

  // Exit status of the monitor after the signal, or -1 when it did not exit normally.
  int stopMonitor(int signal) {
    ::kill(monitor_, signal);
    int status = 0;
    ::waitpid(monitor_, &status, 0);
    monitor_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string output() const { return readFile(directory_ / "out.txt"); }

  fs::path directory_;
  std::string socket_;

 private:
  // A one-byte probe is no debug line: the monitor answers it with 0 and prints nothing.
  bool waitUntilAnswering() const {
    const char probe = 'p';
    for (int attempt = 0; attempt < 1000; ++attempt) {
      std::int32_t answer = -1;
      if (platform::localChannelCall(socket_, &probe, 1, answer, 1000)) return answer == 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  pid_t monitor_ = -1;
};

TEST_F(DebugMonitorTest, MonitorPrintsEachLineAndAnswersOne) {
  startMonitor();
  EXPECT_EQ(BSCF_SendMessageData(socket_.c_str(), "-> USER bob\r\n", 1285, 7, 0), 1);
  EXPECT_EQ(BSCF_SendMessageData(socket_.c_str(), "<- +OK 伺服器就緒", 1285, -2, 3), 1);
  EXPECT_EQ(BSCF_SendMessageData(socket_.c_str(), "", 0, 0, 0), 1);

  EXPECT_EQ(output(), "1285\t7\t0\t-> USER bob\n1285\t-2\t3\t<- +OK 伺服器就緒\n0\t0\t0\t\n");
}

TEST_F(DebugMonitorTest, TextsOf4096CharactersOrMoreAreNotSent) {
  startMonitor();
  const std::string longest(4095, 'x');
  EXPECT_EQ(BSCF_SendMessageData(socket_.c_str(), longest.c_str(), 1285, 1, 0), 1);
  EXPECT_EQ(BSCF_SendMessageData(socket_.c_str(), std::string(4096, 'y').c_str(), 1285, 2, 0), 0);
  EXPECT_EQ(BSCF_SendMessageData(socket_.c_str(), std::string(10000, 'z').c_str(), 1285, 3, 0), 0);

  EXPECT_EQ(output(), "1285\t1\t0\t" + longest + "\n");
}

TEST_F(DebugMonitorTest, UnreachableMonitorsGiveZero) {
  EXPECT_EQ(BSCF_SendMessageData(nullptr, "line", 1285, 0, 0), 0);
  EXPECT_EQ(BSCF_SendMessageData(socket_.c_str(), "line", 1285, 0, 0), 0);  // nobody listens yet

  startMonitor();
  EXPECT_EQ(stopMonitor(SIGINT), 0);
  EXPECT_FALSE(fs::exists(socket_));
  EXPECT_EQ(BSCF_SendMessageData(socket_.c_str(), "line", 1285, 0, 0), 0);
  EXPECT_EQ(output(), "");
}

// The block on the wire, as a monitor of any build receives it.
TEST(DebugChannel, SendsOneBlockOf4108Bytes) {
  std::string pattern = (fs::temp_directory_path() / "groundkit-block-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const std::string socket = pattern + "/block.sock";
  platform::LocalChannelServer server;
  ASSERT_TRUE(server.listen(socket));
  std::string received;
  std::atomic<bool> done{false};
  std::thread serving([&] {
    while (!done) {
      server.serve(20, [&](std::string_view block) {
        received = block;
        return 77;
      });
    }
  });

  int answer = BSCF_SendMessageData(socket.c_str(), "<- 250 OK", 1285, 0x01020304, -1);
  done = true;
  serving.join();
  server.close();
  fs::remove_all(pattern);

  EXPECT_EQ(answer, 77);
  ASSERT_EQ(received.size(), 4108u);
  EXPECT_EQ(received.substr(0, 10), std::string("<- 250 OK\0", 10));
  EXPECT_EQ(received.substr(10, 4086), std::string(4086, '\0'));  // nothing of the caller's memory leaks out
  EXPECT_EQ(received.substr(4096), std::string("\x05\x05\x00\x00"
                                               "\x04\x03\x02\x01"
                                               "\xff\xff\xff\xff",
                                               12));
}

// ---- MAILSIGNOFF_LOG_DIR: the folder of an installed program's logs, or standard error ----

TEST(LogDirectory, TheEnvironmentNamesTheFolderAndItIsMade) {
  const fs::path top = fs::temp_directory_path() / ("groundkit-log-dir-" + std::to_string(::getpid()));
  const fs::path folder = top / "state" / "log";
  ScopedEnv directory("MAILSIGNOFF_LOG_DIR", folder.c_str());
  char path[1024];
  BSCF_GetLoggingFile(4, path);
  EXPECT_EQ(fs::path(path), folder / ("SendMail " + localDate() + ".log"));
  BSCF_LoggingInfo0("a line for the named folder", 4);
  EXPECT_EQ(linesContaining(readFile(path), "a line for the named folder").size(), 1u);
  fs::remove_all(top);
}

TEST(LogDirectory, DashSendsEachLineToStandardError) {
  ScopedEnv directory("MAILSIGNOFF_LOG_DIR", "-");
  char path[1024];
  BSCF_GetLoggingFile(4, path);
  EXPECT_STREQ(path, "/dev/stderr");

  // Standard error into a file while the line is written.
  const fs::path captured = fs::temp_directory_path() / ("groundkit-stderr-" + std::to_string(::getpid()));
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int file = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  ::dup2(file, STDERR_FILENO);
  ::close(file);
  BSCF_LoggingInfo0("for the journal\r\n", 1);
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);

  EXPECT_EQ(readFile(captured), "System " + localDate() + ": for the journal\n");
  fs::remove(captured);
}

}  // namespace
