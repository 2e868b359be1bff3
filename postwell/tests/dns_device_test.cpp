// The route resolver: server project selection, route reading, the host's DNS servers and search
// domains from a resolver file, and the list helpers.
#include "postwell/dns_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "platform/resolver_config.h"
#include "temp_dir.h"

namespace {

struct CollectingSink : IDeviceException {
  void OnDeviceException(tagDeviceException* record) override {
    EXPECT_EQ(record->nCode, 0);
    reports.push_back(std::string(record->szSource) + ": " + record->szDescription);
  }
  std::vector<std::string> reports;
};

// A resolver whose discovery and lookup are scripted, counting how often they are asked.
class ScriptedResolver : public CDNSDevice {
 public:
  std::string GetDNSServer() override {
    ++dnsServerCalls;
    return dnsServers;
  }
  std::string GetSmtpServerFromDNS(std::string domain, std::string dnsServer) override {
    lookups.push_back(domain + "@" + dnsServer);
    return exchangers;
  }
  using CDNSDevice::AddDomain;
  using CDNSDevice::BuildStringFromList;
  using CDNSDevice::GetParentDomainName;
  using CDNSDevice::SpliteServer;

  std::string dnsServers = "10.0.0.1";
  std::string exchangers;
  int dnsServerCalls = 0;
  std::vector<std::string> lookups;
};

const char kSettings[] =
    "[SPECIAL DOMAIN]\n"
    "partner.test=Partner Route\n"
    "boss@corp.test=Boss Route\n"
    "corp.test=Corp Route\n"
    "[Default Server]\n"
    "SMTPSERVER=smtp.corp.test\n"
    "SMTPPORT=587\n"
    "AUTHCHECK=yes\n"
    "AUTHLOGINNAME=sender\n"
    "AUTHLOGINPASS=secret\n"
    "MODIMAILERFROMBY=bounce@corp.test\n"
    "[Auto]\n"
    "AUTOGETSMTPSERVER=Yes\n"
    "SMTPSERVER=fallback.corp.test\n"
    "SMTPPORT=2525xyz\n"
    "AUTHCHECK=YES\n"
    "AUTHLOGINNAME=user\n"
    "MODIMAILERFROMBY=bounce@corp.test\n"
    "[relay@corp.test]\n"
    "AUTOGETSMTPSERVER=YES\n"
    "SMTPSERVER=relay.corp.test\n"
    "SMTPPORT=25\n"
    "[No Port]\n"
    "SMTPSERVER=host.test\n";

class Resolver : public ::testing::Test {
 protected:
  void SetUp() override {
    settings = dir.file("route.ini");
    testsupport::writeFile(settings, kSettings);
    resolver.Initialize(&sink, settings.c_str());
  }
  void TearDown() override { platform::setResolverConfigPath(""); }

  testsupport::TempDir dir;
  std::string settings;
  CollectingSink sink;
  ScriptedResolver resolver;
};

struct ProjectCase {
  const char* sender;
  const char* recipient;
  const char* project;
};

TEST_F(Resolver, ProjectSelection) {
  const ProjectCase cases[] = {
      // The recipient's domain entry beats the sender's address entry.
      {"boss@corp.test", "someone@partner.test", "Partner Route"},
      {"Boss <boss@corp.test>", "someone@else.test", "Boss Route"},
      // A sender is matched by its whole address only, never by its domain.
      {"clerk@corp.test", "someone@else.test", "Default Server"},
      {"", "", "Default Server"},
      {"boss@corp.test", "Partner <x@PARTNER.test>", "Partner Route"},
  };
  for (const ProjectCase& c : cases)
    EXPECT_EQ(resolver.GetSMTPServerProject(c.sender, c.recipient), c.project)
        << c.sender << " -> " << c.recipient;
  EXPECT_TRUE(sink.reports.empty());
}

TEST_F(Resolver, SenderThatCannotBeSplitIsReported) {
  EXPECT_EQ(resolver.GetSMTPServerProject(nullptr, "someone@else.test"), "");
  ASSERT_EQ(sink.reports.size(), 1u);
  EXPECT_EQ(sink.reports[0],
            "CMailQueue::GetSMTPServer: Catch excpetion while spliting email address (null).");
  // A recipient entry needs no sender.
  EXPECT_EQ(resolver.GetSMTPServerProject(nullptr, "a@partner.test"), "Partner Route");
}

TEST_F(Resolver, LongAddressPartsDoNotOverflow) {
  const std::string longUser(5000, 'u');
  EXPECT_EQ(resolver.GetSMTPServerProject((longUser + "@corp.test").c_str(),
                                          (longUser + "@x.test").c_str()),
            "Default Server");
}

tagSTMPServer filledRoute() {
  tagSTMPServer route;
  std::memset(&route, 0, sizeof route);
  std::strcpy(route.szSMTPServer, "untouched");
  route.nSMTPPort = 99;
  return route;
}

TEST_F(Resolver, RouteReading) {
  tagSTMPServer route = filledRoute();
  EXPECT_EQ(resolver.GetSMTPServerConfig("", route), 0);
  EXPECT_EQ(resolver.GetSMTPServerConfig(nullptr, route), 0);
  EXPECT_STREQ(route.szSMTPServer, "untouched");
  EXPECT_EQ(route.nSMTPPort, 99);

  ASSERT_EQ(resolver.GetSMTPServerConfig("default server", route), 1);
  EXPECT_STREQ(route.szSMTPServer, "smtp.corp.test");
  EXPECT_EQ(route.nSMTPPort, 587);
  EXPECT_EQ(route.bAuthCheck, 1);
  EXPECT_STREQ(route.szAuthLoginName, "sender");
  EXPECT_STREQ(route.szAuthLoginPass, "secret");
  EXPECT_STREQ(route.szModiMailerFromBy, "bounce@corp.test");

  // A project without a port reads as no route; every field is read again.
  EXPECT_EQ(resolver.GetSMTPServerConfig("No Port", route), 0);
  EXPECT_STREQ(route.szSMTPServer, "host.test");
  EXPECT_EQ(route.bAuthCheck, 0);
  EXPECT_STREQ(route.szModiMailerFromBy, "");
  EXPECT_EQ(resolver.dnsServerCalls, 0);
}

TEST_F(Resolver, ProjectNamedLikeAnAddressNeverLooksUp) {
  tagSTMPServer route = filledRoute();
  EXPECT_EQ(resolver.GetSMTPServerConfig("relay@corp.test", route), 1);
  EXPECT_STREQ(route.szSMTPServer, "relay.corp.test");
  EXPECT_EQ(resolver.dnsServerCalls, 0);
  EXPECT_TRUE(resolver.lookups.empty());
}

TEST_F(Resolver, AutomaticLookupWithoutAnsweringExchangerKeepsTheSection) {
  // Each DNS server is asked for the project's domain; an empty answer is one empty candidate,
  // whose echo test fails and is reported.
  resolver.dnsServers = "10.0.0.1,,10.0.0.2";
  resolver.exchangers = "";
  tagSTMPServer route = filledRoute();
  EXPECT_EQ(resolver.GetSMTPServerConfig("Auto", route), 1);
  EXPECT_EQ(resolver.lookups, (std::vector<std::string>{"Auto@10.0.0.1", "Auto@10.0.0.2"}));
  EXPECT_STREQ(route.szSMTPServer, "fallback.corp.test");
  EXPECT_EQ(route.nSMTPPort, 2525);
  EXPECT_EQ(route.bAuthCheck, 1);
  EXPECT_STREQ(route.szAuthLoginName, "user");
  ASSERT_EQ(sink.reports.size(), 2u);
  EXPECT_EQ(sink.reports[0], "CDNSDevice::IsLegalEcho: Can not get legel echo from .(10022)");
}

TEST_F(Resolver, ExchangerNameTooLongForTheRouteIsSkipped) {
  resolver.exchangers = std::string(200, 'm') + ".test";
  tagSTMPServer route = filledRoute();
  EXPECT_EQ(resolver.GetSMTPServerConfig("Auto", route), 1);
  EXPECT_STREQ(route.szSMTPServer, "fallback.corp.test");
  EXPECT_TRUE(sink.reports.empty());
}

TEST_F(Resolver, FailedExchangerLookupIsReported) {
  CDNSDevice plain;
  plain.Initialize(&sink, settings.c_str());
  plain.SetLookupTimeout(2000);
  // No DNS server at all: the lookup has nobody to ask.
  class NoServers : public CDNSDevice {
   public:
    std::string GetDNSServer() override { return ""; }
  } resolverWithoutServers;
  resolverWithoutServers.Initialize(&sink, settings.c_str());
  resolverWithoutServers.SetLookupTimeout(2000);
  tagSTMPServer route = filledRoute();
  EXPECT_EQ(resolverWithoutServers.GetSMTPServerConfig("Auto", route), 1);
  EXPECT_STREQ(route.szSMTPServer, "fallback.corp.test");
  ASSERT_EQ(sink.reports.size(), 2u);
  EXPECT_EQ(sink.reports[0],
            "CDNSDevice::GetSmtpServerFromDNS: Catch excpetion while invoking Kestro com.");
  EXPECT_EQ(plain.GetSmtpServerFromDNS("example.test", ""), "");
}

struct DiscoveryCase {
  const char* name;
  const char* file;  // null: no file
  const char* expected;
};

TEST_F(Resolver, DiscoveryFromTheResolverFile) {
  const DiscoveryCase cases[] = {
      {"none", nullptr, ""},
      {"empty", "", ""},
      {"servers in order", "nameserver 10.0.0.1\nnameserver\t192.168.1.53 # office\n",
       "10.0.0.1,192.168.1.53"},
      {"comments and junk",
       "# nameserver 1.1.1.1\n; nameserver 2.2.2.2\noptions ndots:2\nnameserver\n", ""},
      {"domain then search", "search b.test c.test\nnameserver 10.0.0.1\ndomain a.test\n",
       "10.0.0.1,a.test,b.test,c.test"},
      {"last search wins", "search old.test\nsearch new.test\n", "new.test"},
      // A server listed twice adds its text after the first dot when that still holds a dot.
      {"server twice", "nameserver 10.0.0.1\nnameserver 10.0.0.1\n", "10.0.0.1,0.0.1"},
      // A domain in both "domain" and "search" adds its parent the second time.
      {"domain in search", "domain a.b.c\nsearch a.b.c x.test\n", "a.b.c,b.c,x.test"},
      {"parent only once", "domain a.b.c\nsearch a.b.c b.c\n", "a.b.c,b.c"},
      {"two labels twice", "domain b.c\nsearch b.c\n", "b.c"},
      {"upper case", "nameserver FE80::1\ndomain CORP.Test\nsearch corp.test\n",
       "fe80::1,corp.test"},
      {"crlf lines", "nameserver 10.0.0.9\r\ndomain x.test\r\n", "10.0.0.9,x.test"},
  };
  for (const DiscoveryCase& c : cases) {
    const std::string path = dir.file(std::string("resolv-") + c.name);
    if (c.file != nullptr) testsupport::writeFile(path, c.file);
    platform::setResolverConfigPath(path);
    CDNSDevice plain;
    EXPECT_EQ(plain.GetDNSServer(), c.expected) << c.name;
  }
}

TEST(ResolverFile, PathFallsBackToTheSystemFile) {
  platform::setResolverConfigPath("/somewhere/else");
  EXPECT_EQ(platform::resolverConfigPath(), "/somewhere/else");
  platform::ResolverConfig config;
  EXPECT_FALSE(platform::readResolverConfig(config));
  EXPECT_TRUE(config.dnsServers.empty());
  platform::setResolverConfigPath("");
  EXPECT_EQ(platform::resolverConfigPath(), "/etc/resolv.conf");
}

TEST_F(Resolver, ListHelpers) {
  struct SplitCase {
    std::string text;
    std::vector<std::string> pieces;
  };
  const SplitCase splits[] = {
      {"a,b", {"a", "b"}},
      {"a,,b,", {"a", "b", ""}},
      {"", {""}},
      {",a", {"a"}},
  };
  for (const SplitCase& c : splits) {
    std::vector<std::string> out{"stale"};
    resolver.SpliteServer(c.text, out, ",");
    EXPECT_EQ(out, c.pieces) << c.text;
  }

  EXPECT_EQ(resolver.GetParentDomainName("a.b.c"), "b.c");
  EXPECT_EQ(resolver.GetParentDomainName("b.c"), "");
  EXPECT_EQ(resolver.GetParentDomainName("c"), "");
  EXPECT_EQ(resolver.GetParentDomainName(""), "");

  std::list<std::string> list;
  std::string joined = "stale";
  EXPECT_EQ(resolver.BuildStringFromList(list, joined), 0);
  EXPECT_EQ(joined, "");
  EXPECT_EQ(resolver.AddDomain(list, "A.B.C"), 1);
  EXPECT_EQ(resolver.AddDomain(list, "a.b.c"), 1);
  EXPECT_EQ(resolver.AddDomain(list, "a.b.c"), 0);
  EXPECT_EQ(resolver.AddDomain(list, ""), 0);
  EXPECT_EQ(resolver.BuildStringFromList(list, joined), 1);
  EXPECT_EQ(joined, "a.b.c,b.c");
}

}  // namespace
