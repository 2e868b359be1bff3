#include "platform/resolver_config.h"

#include <cerrno>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/last_error.h"
#include "platform/native_path.h"

#ifdef _WIN32
#include <winsock2.h>
#include <iphlpapi.h>
#endif

namespace platform {

namespace {

constexpr const char* kSystemResolverFile = "/etc/resolv.conf";
// The C library reads no more than this of the file either; a longer one is cut here.
constexpr std::streamsize kLongestFile = 64 * 1024;

std::mutex g_pathLock;
std::string g_path = kSystemResolverFile;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> result;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && isBlank(line[at])) ++at;
    if (at >= line.size() || line[at] == '#' || line[at] == ';') break;
    const std::size_t start = at;
    while (at < line.size() && !isBlank(line[at])) ++at;
    result.push_back(line.substr(start, at - start));
  }
  return result;
}

}  // namespace

ResolverConfig parseResolverConfig(const std::string& text) {
  ResolverConfig config;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find('\0') != std::string::npos) line.resize(line.find('\0'));
    const std::vector<std::string> w = words(line);
    if (w.size() < 2) continue;
    if (w[0] == "nameserver") {
      config.dnsServers.push_back(w[1]);
    } else if (w[0] == "domain") {
      config.domain = w[1];
    } else if (w[0] == "search") {
      // As in the C library, the last "search" line wins.
      config.searchList.clear();
      for (std::size_t i = 1; i < w.size(); ++i) {
        if (i > 1) config.searchList += ',';
        config.searchList += w[i];
      }
    }
  }
  return config;
}

#ifdef _WIN32
namespace {

// Windows keeps the resolver's settings in the network parameters, not in a file.
bool readNetworkParams(ResolverConfig& config) {
  ULONG size = 0;
  std::string buffer;
  DWORD status = ERROR_BUFFER_OVERFLOW;
  while (status == ERROR_BUFFER_OVERFLOW) {
    buffer.resize(size ? size : sizeof(FIXED_INFO));
    size = static_cast<ULONG>(buffer.size());
    status = ::GetNetworkParams(reinterpret_cast<FIXED_INFO*>(buffer.data()), &size);
  }
  if (status != ERROR_SUCCESS) {
    setLastError(status);
    return false;
  }
  const auto* info = reinterpret_cast<const FIXED_INFO*>(buffer.data());
  for (const IP_ADDR_STRING* server = &info->DnsServerList; server; server = server->Next)
    if (server->IpAddress.String[0] != '\0') config.dnsServers.push_back(server->IpAddress.String);
  config.domain = info->DomainName;
  return true;
}

}  // namespace
#endif

bool readResolverConfig(ResolverConfig& config) {
  config = ResolverConfig();
  const std::string path = resolverConfigPath();
#ifdef _WIN32
  if (path == kSystemResolverFile) return readNetworkParams(config);
#endif
  std::ifstream file(nativePath(path), std::ios::binary);
  if (!file) {
    setLastError(fileErrorFromErrno(errno == 0 ? ENOENT : errno));
    return false;
  }
  std::string text(static_cast<std::size_t>(kLongestFile), '\0');
  file.read(text.data(), kLongestFile);
  if (file.bad()) {
    setLastError(fileErrorFromErrno(EIO));
    return false;
  }
  text.resize(static_cast<std::size_t>(file.gcount()));
  config = parseResolverConfig(text);
  return true;
}

void setResolverConfigPath(const std::string& path) {
  std::lock_guard<std::mutex> guard(g_pathLock);
  g_path = path.empty() ? kSystemResolverFile : path;
}

std::string resolverConfigPath() {
  std::lock_guard<std::mutex> guard(g_pathLock);
  return g_path;
}

}  // namespace platform
