#pragma once
// The mail exchangers of a domain through the system's DNS API (Windows' DnsQuery). Other systems
// ask through a resolver library of their own and have no such call.

#ifdef _WIN32

#include <cstdint>
#include <string>
#include <vector>

#include "platform/export.h"

namespace platform {

struct MxRecord {
  unsigned short preference = 0;
  std::string host;
};

enum class MxQueryResult {
  kAnswered,     // records holds the exchangers, in the server's order
  kNoExchanger,  // the domain does not exist or has no MX record
  kNoAnswer,     // no server answered within the time; failure says why
};

// Asks only the given DNS servers (IPv4 addresses in network byte order, port 53), bypassing the
// system's cache, and waits at most timeoutMs for the answer.
PLATFORM_API MxQueryResult queryMxRecords(const std::string& domain,
                                          const std::vector<std::uint32_t>& servers,
                                          unsigned long timeoutMs, std::vector<MxRecord>& records,
                                          std::string& failure);

}  // namespace platform

#endif
