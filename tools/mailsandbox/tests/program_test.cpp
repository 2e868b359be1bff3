// The mailsandbox program over its sockets, with curl as the mail client.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/socket.h"
#include "sandbox_root.h"
#include "temp_dir.h"

extern char** environ;

namespace mailsandbox::test {
namespace {

// Runs a program (looked up in PATH) with its output in a file; the exit status, -1 when it could
// not run or did not exit normally.
int run(std::vector<std::string> arguments, const std::string& outputFile) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    if (run({"curl", "--version"}, dir.file("curl-version")) != 0) {
      if (std::getenv("CI") != nullptr) FAIL() << "curl is missing (scripts/install-deps.sh installs it)";
      GTEST_SKIP() << "curl is missing";
    }
  }

  void TearDown() override {
    if (server_ > 0) {
      EXPECT_EQ(stop(), 0) << log();
    }
  }

  int mailsandbox(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), MAILSANDBOX_PATH);
    return run(arguments, dir.file("output"));
  }

  void addMailbox(const std::string& address, const std::string& password) {
    ASSERT_EQ(mailsandbox({"--root", root(), "--add-mailbox", address, "--password", password}), 0)
        << output();
  }

  void start() {
    std::string program = MAILSANDBOX_PATH;
    std::string rootPath = root();
    std::vector<std::string> arguments{program, "--root", rootPath, "--smtp-port", "0", "--pop3-port", "0"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, dir.file("log").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(::posix_spawn(&server_, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    for (int attempt = 0; attempt < 1000 && (smtpPort == 0 || pop3Port == 0); ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      smtpPort = portAfter("SMTP listening on 127.0.0.1:");
      pop3Port = portAfter("POP3 listening on 127.0.0.1:");
    }
    ASSERT_NE(smtpPort, 0) << log();
    ASSERT_NE(pop3Port, 0) << log();
  }

  // The exit status after SIGTERM.
  int stop() {
    ::kill(server_, SIGTERM);
    int status = 0;
    ::waitpid(server_, &status, 0);
    server_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  int curl(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"curl", "--silent", "--show-error", "--max-time", "20"});
    return run(arguments, dir.file("output"));
  }
  int sendMail(const std::string& user, const std::string& from, const std::string& to,
               const std::string& message) {
    testsupport::writeFile(dir.file("message.eml"), message);
    return curl({"smtp://127.0.0.1:" + std::to_string(smtpPort), "--user", user, "--mail-from", from,
                 "--mail-rcpt", to, "--upload-file", dir.file("message.eml")});
  }
  int pop3(const std::string& user, const std::string& path, std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"pop3://127.0.0.1:" + std::to_string(pop3Port) + path, "--user", user});
    return curl(more);
  }

  std::string root() const { return dir.file("root"); }
  std::string output() const { return testsupport::readFile(dir.file("output")); }
  std::string log() const { return testsupport::readFile(dir.file("log")); }

  testsupport::TempDir dir;
  int smtpPort = 0;
  int pop3Port = 0;

 private:
  int portAfter(const std::string& text) const {
    std::string lines = log();
    std::size_t at = lines.find(text);
    return at == std::string::npos ? 0 : std::atoi(lines.c_str() + at + text.size());
  }

  pid_t server_ = -1;
};

TEST_F(ProgramTest, HelpSaysItIsATestStandInAndWrongUseFails) {
  EXPECT_EQ(mailsandbox({"--help"}), 0);
  EXPECT_NE(output().find("A test stand-in for the mail server, NOT a mail server"), std::string::npos)
      << output();
  EXPECT_EQ(mailsandbox({"--smtp-port", "25"}), 2);
  EXPECT_NE(output().find("--root DIR is required"), std::string::npos) << output();
  EXPECT_EQ(mailsandbox({"--root", root(), "--smtp-port", "70000"}), 2);
  EXPECT_EQ(mailsandbox({"--root", root(), "--add-mailbox", "ann@example.com"}), 2);
  EXPECT_EQ(mailsandbox({"--root", root()}), 1) << "the root does not exist";
  EXPECT_EQ(mailsandbox({"--root", root(), "--add-mailbox", "ann", "--password", "pw"}), 1);
}

TEST_F(ProgramTest, HeldMessageRoadWithCurl) {
  addMailbox("ann@example.com", "ann-pw");
  addMailbox("bob@example.com", "bob-pw");
  addMailbox("boss@example.com", "boss-pw");
  ASSERT_TRUE(platform::createDirectory(root() + "/App"));
  testsupport::writeFile(root() + "/App/cfrules.dat",
                         signOffRule(1, "Sign_0_boss@example.com", {"ann@example.com"}, "boss@example.com"));
  start();

  const std::string message =
      "From: ann@example.com\r\nTo: bob@example.com\r\nSubject: plan\r\n\r\n.hidden\r\nok\r\n";
  ASSERT_EQ(sendMail("ann@example.com:ann-pw", "ann@example.com", "bob@example.com", message), 0) << output();
  ASSERT_EQ(pop3("bob:bob-pw", "/"), 0) << output();
  EXPECT_EQ(output().find_first_of("0123456789"), std::string::npos) << "the list is empty: " << output();

  ASSERT_EQ(pop3("boss:boss-pw", "/1"), 0) << output();
  std::string held = output();
  EXPECT_TRUE(held.starts_with(
      "Received: from [127.0.0.1] by example.com with ESMTP id md5000000001.msg for <boss@example.com>; "))
      << held;
  std::string heldText = message;
  heldText.insert(heldText.find("\r\n\r\n") + 2, "X-Sign-Rcpt: bob@example.com\r\n");
  EXPECT_TRUE(held.ends_with("\r\n" + heldText)) << held;

  // The marker binds to the supervisor's login: ann's own copy of it is refused.
  std::string approved = message;
  approved.insert(approved.find("\r\n\r\n") + 2, "X-Sign: vandry!\r\nX-Sign-Stat: Approve By boss\r\n");
  EXPECT_NE(sendMail("ann@example.com:ann-pw", "ann@example.com", "bob@example.com", approved), 0);
  EXPECT_NE(log().find("refused: the approval marker of a supervised sender came from no supervisor"),
            std::string::npos)
      << log();

  // The supervisor approves: the marked message passes. Then the held copy is deleted.
  ASSERT_EQ(sendMail("boss:boss-pw", "ann@example.com", "bob@example.com", approved), 0) << output();
  ASSERT_EQ(pop3("bob:bob-pw", "/1"), 0) << output();
  EXPECT_TRUE(output().ends_with("\r\n" + approved)) << output();
  ASSERT_EQ(pop3("boss:boss-pw", "/1", {"--request", "DELE", "--head"}), 0) << output();
  ASSERT_EQ(pop3("boss:boss-pw", "/"), 0) << output();
  EXPECT_EQ(output().find_first_of("0123456789"), std::string::npos) << "the list is empty: " << output();

  std::string events = log();
  EXPECT_NE(
      events.find("smtp#1 message md5000000001 from ann@example.com: matched Sign_0_boss@example.com; copied "
                  "to boss@example.com; held, not delivered to bob@example.com"),
      std::string::npos)
      << events;
  EXPECT_NE(events.find("message md5000000002 from ann@example.com: delivered to bob@example.com"),
            std::string::npos)
      << events;
}

TEST_F(ProgramTest, WrongPasswordsAreRefused) {
  addMailbox("ann@example.com", "ann-pw");
  start();
  constexpr int kCurlLoginDenied = 67;
  EXPECT_EQ(sendMail("ann@example.com:wrong", "ann@example.com", "ann@example.com", "Subject: x\r\n\r\n"),
            kCurlLoginDenied);
  EXPECT_EQ(pop3("ann:wrong", "/"), kCurlLoginDenied);
  EXPECT_NE(log().find("AUTH LOGIN as ann@example.com refused"), std::string::npos) << log();
}

TEST_F(ProgramTest, StopsPromptlyOnSigtermWhileAClientIsConnected) {
  addMailbox("ann@example.com", "ann-pw");
  start();
  platform::SocketHandle client = platform::tcpSocket();
  ASSERT_TRUE(platform::connectTcp(client, "127.0.0.1", static_cast<std::uint16_t>(smtpPort)));
  char buffer[512];
  ASSERT_EQ(platform::waitReadable(client, 5000), 1);
  ASSERT_GT(platform::receiveSome(client, buffer, sizeof buffer), 0);

  auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(stop(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5))
      << "it waited for the idle client";
  ASSERT_EQ(platform::waitReadable(client, 5000), 1);
  EXPECT_EQ(platform::receiveSome(client, buffer, sizeof buffer), 0) << "the connection is closed";
  platform::closeSocket(client);
  EXPECT_NE(log().find("smtp#1 closed, the stand-in stops"), std::string::npos) << log();
  EXPECT_TRUE(log().ends_with("stopped\n")) << log();
}

}  // namespace
}  // namespace mailsandbox::test
