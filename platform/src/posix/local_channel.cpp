#include "platform/local_channel.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/last_error.h"
#include "poll_timeout.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

void setSocketError(int errnoValue) { setLastError(socketErrorFromErrno(errnoValue)); }

bool makeAddress(const std::string& path, sockaddr_un& address) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path || path.find('\0') != std::string::npos)
    return false;
  path.copy(address.sun_path, path.size());
  return true;
}

const sockaddr* asSockaddr(const sockaddr_un& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

int seqpacketSocket(int extraFlags) { return ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | extraFlags, 0); }

// At least 1 ms: a zero socket timeout would mean "wait for ever".
long remainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 1 ? 1 : static_cast<long>(left);
}

bool setSendTimeout(int fd, long milliseconds) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(milliseconds / 1000);
  tv.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
  if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0) return true;
  setSocketError(errno);
  return false;
}

bool connectTo(int fd, const sockaddr_un& address, Clock::time_point deadline) {
  if (!setSendTimeout(fd, remainingMs(deadline))) return false;
  if (::connect(fd, asSockaddr(address), sizeof address) == 0) return true;
  // A path without a socket means, for the caller, that nobody listens there.
  setSocketError(errno == ENOENT ? ECONNREFUSED : errno);
  return false;
}

bool sendMessage(int fd, const void* message, std::size_t length, Clock::time_point deadline) {
  if (!setSendTimeout(fd, remainingMs(deadline))) return false;
  for (;;) {
    ssize_t n = ::send(fd, message, length, MSG_NOSIGNAL);
    if (n == static_cast<ssize_t>(length)) return true;
    if (n < 0 && errno == EINTR) continue;
    setSocketError(n < 0 ? errno : EMSGSIZE);
    return false;
  }
}

bool waitForAnswer(int fd, Clock::time_point deadline) {
  for (;;) {
    pollfd wait{fd, POLLIN, 0};
    int ready = ::poll(&wait, 1, static_cast<int>(remainingMs(deadline)));
    if (ready > 0) return true;
    if (ready == 0 || Clock::now() >= deadline) {
      setLastError(err::kWsaTimedOut);
      return false;
    }
    if (errno != EINTR) {
      setSocketError(errno);
      return false;
    }
  }
}

bool receiveAnswer(int fd, std::int32_t& answer, Clock::time_point deadline) {
  if (!waitForAnswer(fd, deadline)) return false;
  std::int32_t received = 0;
  ssize_t n;
  do {
    n = ::recv(fd, &received, sizeof received, MSG_TRUNC);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    setSocketError(errno);
    return false;
  }
  if (n == 0) {
    setLastError(err::kWsaConnectionReset);
    return false;
  }
  if (n != sizeof received) {
    setLastError(err::kWsaMessageSize);
    return false;
  }
  answer = received;
  return true;
}

// True when the path holds a socket that nobody listens on any more.
bool isStaleSocket(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  sockaddr_un address{};
  makeAddress(path, address);
  int probe = seqpacketSocket(0);
  bool refused = probe >= 0 && ::connect(probe, asSockaddr(address), sizeof address) != 0 && errno == ECONNREFUSED;
  if (probe >= 0) ::close(probe);
  return refused;
}

// Returns 0 or the errno value of the failed bind.
int bindReplacingStale(int fd, const sockaddr_un& address, const std::string& path) {
  if (::bind(fd, asSockaddr(address), sizeof address) == 0) return 0;
  int error = errno;
  if (error != EADDRINUSE || !isStaleSocket(path)) return error;
  ::unlink(path.c_str());
  return ::bind(fd, asSockaddr(address), sizeof address) == 0 ? 0 : errno;
}

}  // namespace

bool localChannelCall(const std::string& serverPath, const void* message, std::size_t length,
                      std::int32_t& answer, unsigned long timeoutMs) {
  sockaddr_un address{};
  // An empty message would look like the end of the connection to the server.
  if (length == 0 || !makeAddress(serverPath, address)) {
    setLastError(err::kWsaInvalidArgument);
    return false;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int fd = seqpacketSocket(0);
  if (fd < 0) {
    setSocketError(errno);
    return false;
  }
  bool answered = connectTo(fd, address, deadline) && sendMessage(fd, message, length, deadline) &&
                  receiveAnswer(fd, answer, deadline);
  ::close(fd);
  return answered;
}

LocalChannelServer::~LocalChannelServer() { close(); }

bool LocalChannelServer::listen(const std::string& path) {
  close();
  sockaddr_un address{};
  if (!makeAddress(path, address)) {
    setLastError(err::kWsaInvalidArgument);
    return false;
  }
  int fd = seqpacketSocket(SOCK_NONBLOCK);
  if (fd < 0) {
    setSocketError(errno);
    return false;
  }
  int error = bindReplacingStale(fd, address, path);
  if (error == 0 && ::listen(fd, SOMAXCONN) != 0) {
    error = errno;
    ::unlink(path.c_str());
  }
  if (error != 0) {
    ::close(fd);
    setSocketError(error);
    return false;
  }
  listener_ = fd;
  path_ = path;
  return true;
}

bool LocalChannelServer::serve(unsigned long timeoutMs, const Handler& handler) {
  if (listener_ < 0) {
    setLastError(err::kWsaNotSocket);
    return false;
  }
  std::vector<pollfd> waits{{listener_, POLLIN, 0}};
  for (int client : clients_) waits.push_back({client, POLLIN, 0});
  int timeout = pollTimeout(timeoutMs);
  if (::poll(waits.data(), waits.size(), timeout) < 0) {
    if (errno == EINTR) return true;
    setSocketError(errno);
    return false;
  }
  std::vector<int> stillOpen;
  for (std::size_t i = 1; i < waits.size(); ++i) {
    int client = waits[i].fd;
    if (waits[i].revents == 0 || answerMessages(client, handler))
      stillOpen.push_back(client);
    else
      ::close(client);
  }
  clients_ = std::move(stillOpen);
  if (waits[0].revents != 0) acceptClients();
  return true;
}

void LocalChannelServer::acceptClients() {
  for (;;) {
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) {
      if (errno == EINTR) continue;
      return;  // nobody else waiting, or a client that gave up already
    }
    clients_.push_back(client);
  }
}

bool LocalChannelServer::answerMessages(int client, const Handler& handler) {
  std::vector<char> buffer(kMaxMessage);
  for (;;) {
    ssize_t n = ::recv(client, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (n == 0) return false;
    auto length = static_cast<std::size_t>(n);
    std::int32_t answer = length > kMaxMessage ? 0 : handler(std::string_view(buffer.data(), length));
    if (::send(client, &answer, sizeof answer, MSG_NOSIGNAL | MSG_DONTWAIT) != sizeof answer) return false;
  }
}

void LocalChannelServer::close() {
  for (int client : clients_) ::close(client);
  clients_.clear();
  if (listener_ >= 0) {
    ::close(listener_);
    ::unlink(path_.c_str());
  }
  listener_ = -1;
  path_.clear();
}

}  // namespace platform
