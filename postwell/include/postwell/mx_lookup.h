#pragma once

#include <memory>
#include <string>

#include "postwell/export.h"

// Finds the mail exchangers of a domain by asking the DNS servers it is given, and only those. The
// calls come in this order: the separator, the first DNS server, the second DNS server, then the
// query. The second server is asked when the first does not answer.
class POSTWELL_API IMXLookup {
 public:
  virtual ~IMXLookup() = default;

  virtual void SetSeparator(const std::string& separator) = 0;
  // "host" or "host:port" (port 53 when none is given; an IPv6 address with a port is written
  // "[address]:port"). Empty means none.
  virtual void SetDNSServer(const std::string& server) = 0;
  virtual void SetSecondDNSServer(const std::string& server) = 0;
  // The longest the whole query may take, in milliseconds.
  virtual void SetTimeout(unsigned long milliseconds) = 0;
  // 1 with the exchangers' host names in order of preference, joined by the separator; the answer
  // is empty when the domain has no exchanger or does not exist. 0 with a description of the failure
  // when no DNS server gave an answer.
  virtual int QueryMX(const std::string& domain, std::string& answer, std::string& failure) = 0;
};

// The lookup of this library: c-ares, or on Windows the system's DNS API (DnsQuery).
POSTWELL_API std::unique_ptr<IMXLookup> CreateMXLookup();
