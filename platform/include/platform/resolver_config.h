#pragma once
// The host's resolver configuration: its DNS servers and its search domains, read from the system's
// resolver file (/etc/resolv.conf unless pointed elsewhere).

#include <string>
#include <vector>

#include "platform/export.h"

namespace platform {

struct ResolverConfig {
  // The "nameserver" entries in file order.
  std::vector<std::string> dnsServers;
  // The last "domain" line's name, empty when there is none.
  std::string domain;
  // Names the DHCP client gave; the resolver file does not tell them apart, so this stays empty.
  std::string dhcpDomain;
  // The last "search" line's names joined by ",".
  std::string searchList;
};

// Reads the resolver file. False, with the last error set, when it cannot be read; the
// configuration is then empty.
PLATFORM_API bool readResolverConfig(ResolverConfig& config);
// Parses text as the contents of a resolver file.
PLATFORM_API ResolverConfig parseResolverConfig(const std::string& text);

// The file readResolverConfig reads; an empty path restores /etc/resolv.conf.
PLATFORM_API void setResolverConfigPath(const std::string& path);
PLATFORM_API std::string resolverConfigPath();

}  // namespace platform
