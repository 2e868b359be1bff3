// Looking up the mail exchangers of a recipient's domain through the device's DNS servers.
#include <exception>

#include "platform/last_error.h"
#include "postwell/mail_device.h"
#include "postwell/mx_lookup.h"
#include "text_format/formatted.h"

using text_format::formatted;

namespace {

const char kSeparator[] = ",";
// Split buffers take at most 1,023 characters and a zero.
constexpr std::size_t kAddressPartBuffer = 1024;

// Pieces before each separator, then the rest; a separator at the very start ends the splitting and
// the rest is taken whole.
void appendPieces(std::string rest, std::vector<std::string>& servers) {
  for (std::size_t at = rest.find(kSeparator); at != std::string::npos && at > 0; at = rest.find(kSeparator)) {
    servers.push_back(rest.substr(0, at));
    rest.erase(0, at + 1);
  }
  servers.push_back(rest);
}

}  // namespace

// Out of memory, the lookup ends with what it has appended so far.
void CMailDevice::MailFunc_GetSmtpServerByDNS(std::string address, std::vector<std::string>& servers) try {
  const std::string& firstServer = m_Setting.m_sDNSServer1;
  const std::string& secondServer = m_Setting.m_sDNSServer2;
  if (firstServer.empty() && secondServer.empty()) return;

  char name[kAddressPartBuffer] = "", user[kAddressPartBuffer] = "", domain[kAddressPartBuffer] = "";
  BSCFEM_SplitEmailAddress(address.c_str(), name, user, domain);
  StatusAndLog(formatted("连接DNS %s,查询目标主机 %s 的MX记录 ...", firstServer.c_str(), address.c_str()));

  std::unique_ptr<IMXLookup> lookup = CreateMXLookup();
  lookup->SetSeparator(kSeparator);
  lookup->SetDNSServer(firstServer);
  lookup->SetSecondDNSServer(secondServer);
  lookup->SetTimeout(m_dwTimeout);
  std::string answer, failure;
  std::string problem;
  if (!lookup->QueryMX(domain, answer, failure))
    problem = formatted("Get email server for %s error. %s", address.c_str(), failure.c_str());
  else if (answer.empty())
    problem = formatted("Get email server for %s error.", address.c_str());
  else
    appendPieces(answer, servers);
  if (!problem.empty())
    BSCF_LoggingInfo1(formatted("%s(%d)%s", "-_-~", 9999, problem.c_str()).c_str(), 1);
} catch (const std::exception&) {
  platform::setLastError(platform::err::kNotEnoughMemory);
}
