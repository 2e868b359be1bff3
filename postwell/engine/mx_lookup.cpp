// The MX lookup with c-ares: an MX query to the given DNS servers only, the answer sorted by
// preference.
#include "postwell/mx_lookup.h"

#include <ares.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/socket.h"
#include "platform/socket_wait.h"

namespace {

constexpr unsigned long kDefaultTimeoutMs = 10000;
constexpr int kTries = 2;
constexpr int kDefaultDnsPort = 53;
constexpr int kMxType = 15;
constexpr int kInternetClass = 1;

bool initialiseLibrary() {
  static const int status = ares_library_init(ARES_LIB_INIT_ALL);
  return status == ARES_SUCCESS;
}

bool parsePort(std::string_view text, int& port) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  return ec == std::errc() && end == text.data() + text.size() && port > 0 && port <= 65535;
}

bool parseAddress(const std::string& host, ares_addr_port_node& node) {
  if (ares_inet_pton(AF_INET, host.c_str(), &node.addr.addr4) == 1) {
    node.family = AF_INET;
    return true;
  }
  if (ares_inet_pton(AF_INET6, host.c_str(), &node.addr.addr6) == 1) {
    node.family = AF_INET6;
    return true;
  }
  std::uint32_t address = 0;
  if (host.empty() || !platform::resolveIPv4(host.c_str(), address)) return false;
  node.family = AF_INET;
  node.addr.addr4.s_addr = address;
  return true;
}

// "host", "host:port", "[address]:port" or a bare IPv6 address.
bool parseServer(const std::string& text, ares_addr_port_node& node) {
  std::string host = text;
  int port = kDefaultDnsPort;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    const std::string_view rest = std::string_view(text).substr(close + 1);
    if (!rest.empty() && (rest.front() != ':' || !parsePort(rest.substr(1), port))) return false;
  } else if (std::count(text.begin(), text.end(), ':') == 1) {
    const std::size_t colon = text.find(':');
    host = text.substr(0, colon);
    if (!parsePort(std::string_view(text).substr(colon + 1), port)) return false;
  }
  if (!parseAddress(host, node)) return false;
  node.udp_port = port;
  node.tcp_port = port;
  return true;
}

struct QueryResult {
  bool done = false;
  int status = ARES_SUCCESS;
  std::vector<std::pair<unsigned short, std::string>> exchangers;
};

void onAnswer(void* arg, int status, int, unsigned char* answer, int length) {
  auto* result = static_cast<QueryResult*>(arg);
  result->done = true;
  result->status = status;
  if (status != ARES_SUCCESS) return;
  ares_mx_reply* replies = nullptr;
  result->status = ares_parse_mx_reply(answer, length, &replies);
  for (ares_mx_reply* r = replies; r != nullptr; r = r->next) result->exchangers.emplace_back(r->priority, r->host);
  if (replies != nullptr) ares_free_data(replies);
}

class CAresMXLookup final : public IMXLookup {
 public:
  void SetSeparator(const std::string& separator) override { separator_ = separator; }
  void SetDNSServer(const std::string& server) override { firstServer_ = server; }
  void SetSecondDNSServer(const std::string& server) override { secondServer_ = server; }
  void SetTimeout(unsigned long milliseconds) override { timeoutMs_ = milliseconds; }
  int QueryMX(const std::string& domain, std::string& answer, std::string& failure) override;

 private:
  bool Servers(std::vector<ares_addr_port_node>& nodes, std::string& failure) const;
  // Runs the channel until the query is answered or the time is up.
  bool Drive(ares_channel channel, const QueryResult& result) const;

  std::string separator_ = ",";
  std::string firstServer_;
  std::string secondServer_;
  unsigned long timeoutMs_ = kDefaultTimeoutMs;
};

bool CAresMXLookup::Servers(std::vector<ares_addr_port_node>& nodes, std::string& failure) const {
  for (const std::string* server : {&firstServer_, &secondServer_}) {
    if (server->empty()) continue;
    ares_addr_port_node node{};
    if (!parseServer(*server, node)) {
      failure = "The DNS server \"" + *server + "\" is not an address or a known host.";
      return false;
    }
    nodes.push_back(node);
  }
  if (nodes.empty()) {
    failure = "No DNS server is given.";
    return false;
  }
  for (std::size_t i = 0; i + 1 < nodes.size(); ++i) nodes[i].next = &nodes[i + 1];
  return true;
}

bool CAresMXLookup::Drive(ares_channel channel, const QueryResult& result) const {
  const std::uint32_t start = platform::tickCount();
  while (!result.done) {
    const std::uint32_t elapsed = platform::tickCount() - start;
    if (elapsed >= timeoutMs_) return false;

    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    const int bits = ares_getsock(channel, sockets, ARES_GETSOCK_MAXNUM);
    std::vector<platform::SocketInterest> interests;
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
      const bool read = ARES_GETSOCK_READABLE(bits, i) != 0, write = ARES_GETSOCK_WRITABLE(bits, i) != 0;
      if (!read && !write) continue;
      platform::SocketInterest interest;
      interest.socket = sockets[i];
      interest.wantRead = read;
      interest.wantWrite = write;
      interests.push_back(interest);
    }
    timeval longest{}, wait{};
    const unsigned long left = timeoutMs_ - elapsed;
    longest.tv_sec = static_cast<long>(left / 1000);
    longest.tv_usec = static_cast<long>(left % 1000) * 1000;
    const timeval* next = ares_timeout(channel, &longest, &wait);
    const unsigned long waitMs = static_cast<unsigned long>(next->tv_sec) * 1000 +
                                 static_cast<unsigned long>(next->tv_usec + 999) / 1000;

    if (platform::waitSockets(interests, waitMs) < 0) return false;
    bool any = false;
    for (const platform::SocketInterest& s : interests) {
      if (!s.readable && !s.writable) continue;
      any = true;
      ares_process_fd(channel, s.readable ? static_cast<ares_socket_t>(s.socket) : ARES_SOCKET_BAD,
                      s.writable ? static_cast<ares_socket_t>(s.socket) : ARES_SOCKET_BAD);
    }
    // Lets c-ares notice the timeouts of its tries.
    if (!any) ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
  }
  return true;
}

int CAresMXLookup::QueryMX(const std::string& domain, std::string& answer, std::string& failure) {
  answer.clear();
  failure.clear();
  if (!initialiseLibrary()) {
    failure = "The DNS resolver library cannot be initialised.";
    return 0;
  }
  std::vector<ares_addr_port_node> nodes;
  if (!Servers(nodes, failure)) return 0;

  ares_options options{};
  options.timeout = static_cast<int>(std::clamp<unsigned long>(timeoutMs_ / (kTries + 1), 1, 5000));
  options.tries = kTries;
  options.flags = ARES_FLAG_NOSEARCH | ARES_FLAG_NOALIASES;
  ares_channel channel = nullptr;
  int status = ares_init_options(&channel, &options, ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_FLAGS);
  if (status == ARES_SUCCESS) status = ares_set_servers_ports(channel, nodes.data());
  if (status != ARES_SUCCESS) {
    failure = ares_strerror(status);
    if (channel != nullptr) ares_destroy(channel);
    return 0;
  }

  QueryResult result;
  ares_query(channel, domain.c_str(), kInternetClass, kMxType, onAnswer, &result);
  const bool answered = Drive(channel, result);
  // Ends an unanswered query; its callback runs before the channel goes.
  ares_destroy(channel);

  if (!answered) {
    failure = "The DNS servers did not answer in time.";
    return 0;
  }
  if (result.status == ARES_ENOTFOUND || result.status == ARES_ENODATA) return 1;
  if (result.status != ARES_SUCCESS) {
    failure = ares_strerror(result.status);
    return 0;
  }
  std::stable_sort(result.exchangers.begin(), result.exchangers.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [preference, host] : result.exchangers) {
    if (!answer.empty()) answer += separator_;
    answer += host;
  }
  return 1;
}

}  // namespace

std::unique_ptr<IMXLookup> CreateMXLookup() { return std::make_unique<CAresMXLookup>(); }
