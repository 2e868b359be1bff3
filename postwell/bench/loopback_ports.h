#pragma once
// Ports on 127.0.0.1 for the benchmarks' private servers.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace bench {

inline sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  return a;
}

// A port that was free a moment ago, chosen by the system.
inline int freeLoopbackPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = loopback(0);
  socklen_t len = sizeof a;
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

// The first free port from `from` on, below 10000 (device settings take ports up to 9999).
inline int freeLowPort(int from) {
  for (int port = from; port < 10000; ++port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = loopback(port);
    const bool free = ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    if (free) return port;
  }
  std::fprintf(stderr, "no free port below 10000\n");
  std::exit(1);
}

inline bool portAnswers(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in a = loopback(port);
  const bool ok = ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

}  // namespace bench
