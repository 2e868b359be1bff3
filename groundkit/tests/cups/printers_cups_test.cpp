// Printers against a private CUPS scheduler (scripts/peers/cups.sh): queues
// "lab" (the server's default) and "office". Each test process has a HOME of
// its own, so that the user's default that the tests set never touches the real
// user's.

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "groundkit/groundkit.h"
#include "temp_dir.h"
#include "test_peer.h"

namespace {

namespace fs = std::filesystem;

// Set before the first CUPS call of the process: CUPS reads HOME once.
testsupport::TempDir* home = nullptr;

class CupsHome : public ::testing::Environment {
 public:
  void SetUp() override {
    home = new testsupport::TempDir;
    ::setenv("HOME", home->path().c_str(), 1);
    ::unsetenv("LPDEST");
    ::unsetenv("PRINTER");
  }
  void TearDown() override {
    delete home;
    home = nullptr;
  }
};
const auto* const kHome = ::testing::AddGlobalTestEnvironment(new CupsHome);

// Output of a command run through the shell.
std::string run(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    ::pclose(pipe);
  }
  return output;
}

std::string defaultPrinter() {
  char name[256] = "";
  unsigned long code = 4242;
  int result = BSCF_GetDefaultPrinter(name, sizeof name, code);
  return result ? std::string(name) : "failed with " + std::to_string(code);
}

class Printers : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    testsupport::RunningPeer scheduler;
    if (!testsupport::findPeer("CUPS", scheduler, why)) SKIP_OR_FAIL_WITHOUT_PEER(why);
    server_ = "127.0.0.1:" + std::to_string(scheduler.port);
    cupsSetServer(server_.c_str());
    fs::remove_all(fs::path(home->path()) / ".cups");
  }

  // A CUPS program with this process's HOME and server.
  std::string cups(const std::string& program, const std::string& arguments) const {
    return run("HOME='" + home->path() + "' " + program + " -h " + server_ + " " + arguments);
  }
  std::string lpoptionsFile() const { return home->path() + "/.cups/lpoptions"; }

  std::string server_;
};

TEST_F(Printers, ListsEveryQueueOfTheScheduler) {
  std::vector<std::string> printers{"stale"};
  ASSERT_EQ(BSCF_EnumSysPrinters(printers), 1);
  std::sort(printers.begin(), printers.end());
  EXPECT_EQ(printers, (std::vector<std::string>{"lab", "office"}));
}

TEST_F(Printers, DefaultIsTheUsersChoiceElseTheServers) {
  EXPECT_EQ(defaultPrinter(), "lab");
  cups("lpoptions", "-d office >/dev/null");
  EXPECT_EQ(defaultPrinter(), "office");
}

TEST_F(Printers, DefaultSetHereIsWhatEveryCupsProgramSees) {
  unsigned long code = 4242;
  ASSERT_EQ(BSCF_SetDefaultPrinter("office", code), 1);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(defaultPrinter(), "office");
  EXPECT_NE(cups("lpstat", "-d").find("system default destination: office"), std::string::npos);
  // The user's choice only: another user still gets the server's default.
  testsupport::TempDir otherHome;
  EXPECT_NE(
      run("HOME='" + otherHome.path() + "' lpstat -h " + server_ + " -d").find("destination: lab"),
      std::string::npos);

  ASSERT_EQ(BSCF_SetDefaultPrinter("lab/draft", code), 1);
  EXPECT_EQ(defaultPrinter(), "lab/draft");
  EXPECT_NE(cups("lpstat", "-d").find("system default destination: lab/draft"), std::string::npos);
}

TEST_F(Printers, SettingTheDefaultKeepsTheUsersPrinterOptions) {
  cups("lpoptions", "-p lab -o sides=two-sided-long-edge >/dev/null");
  cups("lpoptions", "-p office/draft -o copies=2 >/dev/null");
  unsigned long code = 4242;
  ASSERT_EQ(BSCF_SetDefaultPrinter("office", code), 1);
  EXPECT_NE(cups("lpoptions", "-p lab").find("sides=two-sided-long-edge"), std::string::npos);
  EXPECT_NE(cups("lpoptions", "-p office/draft").find("copies=2"), std::string::npos);
  EXPECT_EQ(defaultPrinter(), "office");
}

TEST_F(Printers, UnknownPrinterChangesNothing) {
  unsigned long code = 0;
  ASSERT_EQ(BSCF_SetDefaultPrinter("office", code), 1);
  std::string before = testsupport::readFile(lpoptionsFile());

  EXPECT_EQ(BSCF_SetDefaultPrinter("nosuch", code), 0);
  EXPECT_EQ(code, 1801u);
  EXPECT_EQ(BSCF_SetDefaultPrinter("nosuch/draft", code), 0);
  EXPECT_EQ(code, 1801u);
  EXPECT_EQ(testsupport::readFile(lpoptionsFile()), before);
  EXPECT_EQ(defaultPrinter(), "office");
}

TEST_F(Printers, NameMustBeShorterThanTheBuffer) {
  struct Case {
    unsigned long size;
    int result;
    const char* name;
  };
  for (Case c : {Case{0, 0, "#####"}, Case{3, 0, "#####"}, Case{4, 1, "lab"}, Case{5, 1, "lab"}}) {
    char name[8] = "#####";
    unsigned long code = 4242;
    EXPECT_EQ(BSCF_GetDefaultPrinter(name, c.size, code), c.result) << c.size;
    EXPECT_EQ(code, 0u) << c.size;
    EXPECT_STREQ(name, c.name) << c.size;
  }
}

// A free loopback port, for a scheduler of the test's own.
int freePort() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(s);
  return ntohs(address.sin_port);
}

TEST_F(Printers, AfterTheSchedulerStopsEveryCallFailsWithACode) {
  testsupport::TempDir scratch;
  std::string dir = scratch.path() + "/cups-own";
  std::string port = std::to_string(freePort());
  std::string script = CUPS_PEER_SCRIPT;
  ASSERT_EQ(std::system((script + " start " + dir + " " + port + " >/dev/null 2>&1").c_str()), 0);
  std::string own = "127.0.0.1:" + port;
  cupsSetServer(own.c_str());
  EXPECT_EQ(defaultPrinter(), "lab");
  // Without the server's default there is none: a failure without a code.
  run("HOME='" + home->path() + "' lpadmin -h " + own + " -x lab");
  EXPECT_EQ(defaultPrinter(), "failed with 0");

  ASSERT_EQ(std::system((script + " stop " + dir + " >/dev/null 2>&1").c_str()), 0);
  EXPECT_EQ(defaultPrinter(), "failed with 10061");
  unsigned long code = 0;
  EXPECT_EQ(BSCF_SetDefaultPrinter("lab", code), 0);
  EXPECT_EQ(code, 10061u);
  std::vector<std::string> printers{"stale"};
  EXPECT_EQ(BSCF_EnumSysPrinters(printers), 0);
  EXPECT_TRUE(printers.empty());
}

}  // namespace
