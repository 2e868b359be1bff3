#pragma once
// The gate as a milter: libmilter calls it for each SMTP event of the MTA, and at the end of each
// message it holds the message for the supervisors, lets it pass or refuses it.

#include <string>

#include "rule_source.h"

namespace signgate {

struct GateSettings {
  std::string socket;       // libmilter's connection spec: inet:PORT@HOST, unix:PATH
  std::string rulesFile;
  std::string loginDomain;  // the domain of bare SMTP AUTH logins; empty: any domain
};

// Registers the filter and runs libmilter until SIGTERM, SIGINT or SIGHUP. Returns the exit status.
int runGate(const GateSettings& settings);

}  // namespace signgate
