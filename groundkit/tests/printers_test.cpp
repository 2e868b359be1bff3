// Printers when the scheduler cannot serve: refused, silent, or answering with
// something that is not IPP. Every call ends with a failure and a code, and a
// name that could never be a printer is refused before the scheduler is asked.

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "groundkit/groundkit.h"
#include "scripted_server.h"

namespace {

enum class Call { GetDefault, SetDefault, Enumerate };

// Runs one printer function; the code is what it stored (Enumerate stores
// none).
int callPrinters(Call call, unsigned long& code) {
  code = 4242;
  switch (call) {
    case Call::GetDefault: {
      char name[256] = "unchanged";
      int result = BSCF_GetDefaultPrinter(name, sizeof name, code);
      EXPECT_STREQ(name, "unchanged");
      return result;
    }
    case Call::SetDefault:
      return BSCF_SetDefaultPrinter("lab", code);
    case Call::Enumerate: {
      std::vector<std::string> printers{"stale"};
      int result = BSCF_EnumSysPrinters(printers);
      EXPECT_TRUE(printers.empty());
      code = 0;
      return result;
    }
  }
  return -1;
}

std::string serverAt(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

struct OutageCase {
  const char* name;
  Call call;
  // How the server behaves: "refused", "silent" or "garbage".
  const char* server;
  unsigned long code;
};

class SchedulerOutage : public ::testing::TestWithParam<OutageCase> {};

TEST_P(SchedulerOutage, FailsWithACode) {
  const OutageCase& c = GetParam();
  testsupport::ScriptedServer server;
  std::string where;
  if (std::string(c.server) == "refused") {
    std::uint16_t closed;
    {
      testsupport::ScriptedServer gone;
      closed = gone.port();
    }
    where = serverAt(closed);
  } else {
    for (int i = 0; i < 4; ++i) {
      auto& script = server.connection().readUntil("\r\n\r\n");
      if (std::string(c.server) == "silent")
        script.silence();
      else
        script
            .send(
                "HTTP/1.1 200 OK\r\nContent-Type: "
                "application/ipp\r\nContent-Length: 9\r\n\r\nnot-ipp!!")
            .close();
    }
    server.start();
    where = serverAt(server.port());
  }
  cupsSetServer(where.c_str());

  unsigned long code = 0;
  EXPECT_EQ(callPrinters(c.call, code), 0);
  if (c.call != Call::Enumerate) {
    EXPECT_EQ(code, c.code);
  }
  server.stop();
}

INSTANTIATE_TEST_SUITE_P(
    Printers, SchedulerOutage,
    ::testing::Values(OutageCase{"GetRefused", Call::GetDefault, "refused", 10061},
                      OutageCase{"SetRefused", Call::SetDefault, "refused", 10061},
                      OutageCase{"ListRefused", Call::Enumerate, "refused", 0},
                      OutageCase{"GetSilent", Call::GetDefault, "silent", 10060},
                      OutageCase{"SetSilent", Call::SetDefault, "silent", 10060},
                      OutageCase{"ListSilent", Call::Enumerate, "silent", 0},
                      OutageCase{"GetGarbage", Call::GetDefault, "garbage", 10022},
                      OutageCase{"SetGarbage", Call::SetDefault, "garbage", 10022},
                      OutageCase{"ListGarbage", Call::Enumerate, "garbage", 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct NameCase {
  const char* label;
  std::string name;
  unsigned long code;
};

class PrinterNames : public ::testing::TestWithParam<NameCase> {};

// Such names never reach the scheduler, nor the user's option file whose lines
// they would break.
TEST_P(PrinterNames, AreRefusedBeforeAskingTheScheduler) {
  testsupport::ScriptedServer server;
  server.start();
  cupsSetServer(serverAt(server.port()).c_str());
  unsigned long code = 4242;
  EXPECT_EQ(BSCF_SetDefaultPrinter(GetParam().name.c_str(), code), 0);
  EXPECT_EQ(code, GetParam().code);
  server.stop();
  EXPECT_EQ(server.accepted(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Printers, PrinterNames,
    ::testing::Values(NameCase{"Empty", "", 0}, NameCase{"LineBreak", "lab\nDefault office", 1801},
                      NameCase{"CarriageReturn", "lab\r", 1801}, NameCase{"Blank", "my lab", 1801},
                      NameCase{"Hash", "lab#1", 1801}, NameCase{"Backslash", "lab\\x", 1801},
                      NameCase{"OnlyInstance", "/draft", 1801},
                      NameCase{"EmptyInstance", "lab/", 1801},
                      NameCase{"TwoInstances", "lab/a/b", 1801},
                      NameCase{"TooLong", std::string(128, 'p'), 1801}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
