// The database queue's connection string on its own: how it is read, what the queue connects with,
// and that no spelling of a password survives in a text that is shown.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/queue_connection.h"

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

TEST(ConnectionAttributes, ReadsPlainAndBracedValues) {
  struct Case {
    std::string connection;
    Attributes attributes;
  };
  const Case cases[] = {
      {"", {}},
      {"Driver=SQLite3;Database=/q.db", {{"Driver", "SQLite3"}, {"Database", "/q.db"}}},
      {" ; UID = boss ;PWD=x", {{"UID", " boss "}, {"PWD", "x"}}},
      {"PWD={a;b}}c};UID=u", {{"PWD", "a;b}c"}, {"UID", "u"}}},
      {"PWD={unclosed;UID=u", {{"PWD", "unclosed;UID=u"}}},
      {"PWD={a}junk;UID=u", {{"PWD", "a"}, {"UID", "u"}}},
      {"Database=;novalue", {{"Database", ""}}},
      {"PWD=a\r\nb;X=../y", {{"PWD", "a\r\nb"}, {"X", "../y"}}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(connectionAttributes(c.connection), c.attributes) << c.connection;
}

TEST(MaskSecrets, LeavesNoSpellingOfAPassword) {
  struct Case {
    std::string text;
    std::string password;
    std::string connection;
    std::string masked;
  };
  const Case cases[] = {
      {"login as boss with s3cret failed", "s3cret", "", "login as boss with ****** failed"},
      {"PWD=abc;PWD=abc", "", "Driver=x;pwd=abc", "PWD=******;PWD=******"},
      {"Password=xyz", "", "PASSWORD=xyz", "Password=******"},
      // The driver may echo the braced spelling, with "}" doubled.
      {"PWD={a}}b} and a}b", "", "PWD={a}}b}", "PWD={******} and ******"},
      {"PWD={p}}w}", "p}w", "", "PWD={******}"},
      // A secret that holds another is masked whole.
      {"abcdef", "abc", "PWD=abcdef", "******"},
      {"nothing secret", "", "UID=nothing", "nothing secret"},
      // Secrets the mask spells: each run of them is one mask, however many secrets there are.
      {"PWD=*;PWD=** P:*", "*", "PWD=**;pwd=*;Pwd=***;PASSWORD=****", "PWD=******;PWD=****** P:******"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(maskSecrets(c.text, c.password, c.connection), c.masked) << c.text;
}

TEST(EffectiveConnection, AddsTheDefaultsASettingDoesNotName) {
  struct Case {
    std::string connection;
    unsigned long timeout;
    std::string effective;
  };
  const std::string liveness =
      "pqopt={keepalives=1 keepalives_idle=30 keepalives_interval=10 keepalives_count=3 "
      "tcp_user_timeout=60000};";
  const Case cases[] = {
      {"", 30, "Driver=SQLite3;Database=/etc/mq/mailqueue.db;Timeout=30000;"},
      {"Driver=SQLite3", 0, "Driver=SQLite3;Database=/etc/mq/mailqueue.db;"},
      {"Driver=SQLite3;Database=/q.db;Timeout=5", 30, "Driver=SQLite3;Database=/q.db;Timeout=5"},
      {"Driver={PostgreSQL Unicode};Server=db", 30,
       "Driver={PostgreSQL Unicode};Server=db;" + liveness},
      {"Driver=PostgreSQL;pqopt={x=1}", 30, "Driver=PostgreSQL;pqopt={x=1}"},
      {"DSN=queue", 30, "DSN=queue"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(effectiveConnection(c.connection, "/etc/mq/queue.ini", c.timeout), c.effective)
        << c.connection;
  EXPECT_EQ(effectiveConnection("", "queue.ini", 0), "Driver=SQLite3;Database=mailqueue.db;");
}

TEST(QueryTimeout, IsACountOfSecondsOrTheDefault) {
  const std::pair<std::string, unsigned long> cases[] = {
      {"", 30},          {"0", 0},         {"45", 45},        {"-1", 30}, {"12s", 30},
      {"9999999999", 30}, {"999999999", 2000000}, {" 5", 30},
  };
  for (const auto& [setting, seconds] : cases) EXPECT_EQ(queryTimeoutOf(setting), seconds) << setting;
}

}  // namespace
