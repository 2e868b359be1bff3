// signgate: the sign-off gate, a mail filter (milter) for Postfix and other MTAs that speak the
// milter protocol. It holds the outgoing mail of supervised users for their supervisors, by the
// sign-off rules of the rule file that vetrule writes, and lets approved mail pass only when the
// approving supervisor logged in.
//
//   signgate [--config FILE] [--socket SPEC] [--rules FILE] [--login-domain DOMAIN] [--stderr]
//   signgate [--config FILE] [--rules FILE] --check
#include <cstdio>
#include <string>
#include <vector>

#include "gate_log.h"
#include "gate_rules.h"
#include "milter_gate.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "rule_source.h"

namespace {

using namespace signgate;

constexpr char kDefaultConfig[] = "/etc/mailsignoff/signgate.conf";
constexpr char kDefaultSocket[] = "inet:8895@127.0.0.1";
constexpr char kDefaultRules[] = "/var/lib/mailsignoff/App/cfrules.dat";

const char kUsage[] =
    "usage: signgate [--config FILE] [--socket SPEC] [--rules FILE] [--login-domain DOMAIN]\n"
    "                [--stderr]\n"
    "       signgate [--config FILE] [--rules FILE] --check\n"
    "  --config FILE        settings, section [Gate] with Socket=, Rules=, LoginDomain=\n"
    "                       (default " "/etc/mailsignoff/signgate.conf" ", when it exists)\n"
    "  --socket SPEC        where the MTA connects: inet:PORT@HOST or unix:PATH\n"
    "                       (default inet:8895@127.0.0.1)\n"
    "  --rules FILE         the rule file vetrule writes\n"
    "                       (default /var/lib/mailsignoff/App/cfrules.dat)\n"
    "  --login-domain D     the domain of SMTP AUTH logins without \"@\" (default: any domain)\n"
    "  --stderr             log to standard error as well as to syslog\n"
    "  --check              read the rule file, print each supervisor and their users, exit\n"
    "                       (status 1 when the file cannot be read or a rule is not whole)\n";

struct Arguments {
  std::string config;
  GateSettings settings;
  bool check = false;
  bool toStandardError = false;
};

int usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "signgate: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

bool parseArguments(int argc, char** argv, Arguments& arguments, std::string& problem) {
  GateSettings given;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        problem = option + " needs a value";
        return false;
      }
      into = argv[++i];
      return true;
    };
    if (option == "--config") {
      if (!value(arguments.config)) return false;
    } else if (option == "--socket") {
      if (!value(given.socket)) return false;
    } else if (option == "--rules") {
      if (!value(given.rulesFile)) return false;
    } else if (option == "--login-domain") {
      if (!value(given.loginDomain)) return false;
    } else if (option == "--check") {
      arguments.check = true;
    } else if (option == "--stderr") {
      arguments.toStandardError = true;
    } else {
      problem = "unknown option " + option;
      return false;
    }
  }
  std::string config = arguments.config;
  if (config.empty() && platform::fileExists(kDefaultConfig)) config = kDefaultConfig;
  platform::ProfileFile file;
  if (!config.empty() && (!platform::fileExists(config) || !file.load(config))) {
    problem = "cannot read the settings " + config;
    return false;
  }
  auto pick = [&](const std::string& option, const char* key, const char* fallback) {
    return !option.empty() ? option : file.value("Gate", key).value_or(fallback);
  };
  arguments.settings.socket = pick(given.socket, "Socket", kDefaultSocket);
  arguments.settings.rulesFile = pick(given.rulesFile, "Rules", kDefaultRules);
  arguments.settings.loginDomain = pick(given.loginDomain, "LoginDomain", "");
  return true;
}

int check(const GateSettings& settings) {
  RuleSource source(settings.rulesFile);
  std::string error;
  const auto rules = source.current(error);
  if (!rules) {
    std::fprintf(stderr, "signgate: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: %zu sign-off rule(s)\n", settings.rulesFile.c_str(), rules->rules().size());
  for (const SignOffRule& rule : rules->rules()) {
    std::printf("%s signs off for:", logValue(rule.supervisor).c_str());
    for (const std::string& user : rule.users) std::printf(" %s", logValue(user).c_str());
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  std::string problem;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") return usage(""), 0;
  if (!parseArguments(argc, argv, arguments, problem)) return usage(problem);
  if (arguments.check) return check(arguments.settings);
  openGateLog(arguments.toStandardError);
  return runGate(arguments.settings);
}
