#include "scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace testsupport {

Script& Script::expect(std::string line) {
  steps_.push_back({Step::Expect, std::move(line), 0, 0});
  return *this;
}
Script& Script::expectPrefix(std::string prefix) {
  steps_.push_back({Step::ExpectPrefix, std::move(prefix)});
  return *this;
}
Script& Script::readUntil(std::string terminator) {
  steps_.push_back({Step::ReadUntil, std::move(terminator)});
  return *this;
}
Script& Script::send(std::string bytes) {
  steps_.push_back({Step::Send, std::move(bytes)});
  return *this;
}
Script& Script::sendInPieces(std::string bytes, std::size_t pieceSize, int pauseMs) {
  steps_.push_back({Step::SendInPieces, std::move(bytes), pieceSize == 0 ? 1 : pieceSize, pauseMs});
  return *this;
}
Script& Script::pause(int ms) {
  steps_.push_back({Step::Pause, {}, 0, ms});
  return *this;
}
Script& Script::silence() {
  steps_.push_back({Step::Silence, {}});
  return *this;
}
Script& Script::close() {
  steps_.push_back({Step::Close, {}});
  return *this;
}

ScriptedServer::ScriptedServer() : ScriptedServer("127.0.0.1", 0) {}

ScriptedServer::ScriptedServer(const std::string& address, std::uint16_t port) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1 ||
      ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 8) != 0) {
    ::close(listener_);
    throw std::runtime_error("scripted server cannot listen on " + address + ":" + std::to_string(port));
  }
  socklen_t len = sizeof a;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
}

ScriptedServer::~ScriptedServer() { stop(); }

Script& ScriptedServer::connection() {
  scripts_.emplace_back();
  return scripts_.back();
}

void ScriptedServer::start() { thread_ = std::thread([this] { run(); }); }

bool ScriptedServer::waitDone(int timeoutMs) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (finished_ < static_cast<int>(scripts_.size())) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void ScriptedServer::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
}

std::string ScriptedServer::received() const {
  std::lock_guard<std::mutex> g(mutex_);
  return received_;
}

std::vector<std::string> ScriptedServer::mismatches() const {
  std::lock_guard<std::mutex> g(mutex_);
  return mismatches_;
}

void ScriptedServer::note(const std::string& mismatch) {
  std::lock_guard<std::mutex> g(mutex_);
  mismatches_.push_back(mismatch);
}

void ScriptedServer::run() {
  std::size_t next = 0;
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++accepted_;
    int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (next < scripts_.size()) {
      pending_.clear();
      bool keepOpen = play(client, scripts_[next++]);
      ++finished_;
      if (keepOpen) drain(client);
    }
    ::close(client);
  }
}

// Waits for more bytes from the client; false when it closed, failed or the server is stopping.
static bool receiveMore(int client, std::string& into, const std::atomic<bool>& stopping) {
  char buf[65536];
  while (!stopping) {
    pollfd p{client, POLLIN, 0};
    int rc = ::poll(&p, 1, 20);
    if (rc == 0) continue;
    if (rc < 0) return false;
    ssize_t n = ::recv(client, buf, sizeof buf, 0);
    if (n <= 0) return false;
    into.append(buf, static_cast<std::size_t>(n));
    return true;
  }
  return false;
}

bool ScriptedServer::readUntil(int client, const std::string& terminator) {
  std::size_t searchFrom = 0;
  for (;;) {
    std::size_t at = pending_.find(terminator, searchFrom);
    if (at != std::string::npos) {
      std::size_t end = at + terminator.size();
      {
        std::lock_guard<std::mutex> g(mutex_);
        received_.append(pending_, 0, end);
      }
      pending_.erase(0, end);
      return true;
    }
    searchFrom = pending_.size() >= terminator.size() ? pending_.size() - terminator.size() + 1 : 0;
    if (!receiveMore(client, pending_, stopping_)) {
      std::lock_guard<std::mutex> g(mutex_);
      received_ += pending_;
      pending_.clear();
      return false;
    }
  }
}

bool ScriptedServer::readLine(int client, std::string& line) {
  std::size_t before;
  {
    std::lock_guard<std::mutex> g(mutex_);
    before = received_.size();
  }
  bool ok = readUntil(client, "\r\n");
  std::lock_guard<std::mutex> g(mutex_);
  line = received_.substr(before);
  if (ok) line.resize(line.size() - 2);
  return ok;
}

bool ScriptedServer::play(int client, const Script& script) {
  for (const Script::Step& step : script.steps_) {
    switch (step.kind) {
      case Script::Step::Expect:
      case Script::Step::ExpectPrefix: {
        std::string line;
        if (!readLine(client, line)) {
          note("connection ended while expecting \"" + step.text + "\" (got \"" + line + "\")");
          return false;
        }
        bool match = step.kind == Script::Step::Expect ? line == step.text
                                                       : line.rfind(step.text, 0) == 0;
        if (!match) note("expected \"" + step.text + "\", got \"" + line + "\"");
        break;
      }
      case Script::Step::ReadUntil:
        if (!readUntil(client, step.text)) {
          note("connection ended before \"" + step.text + "\"");
          return false;
        }
        break;
      case Script::Step::Send:
        ::send(client, step.text.data(), step.text.size(), MSG_NOSIGNAL);
        break;
      case Script::Step::SendInPieces:
        for (std::size_t i = 0; i < step.text.size() && !stopping_; i += step.pieceSize) {
          std::size_t n = std::min(step.pieceSize, step.text.size() - i);
          // A client that has gone takes no more pieces.
          if (::send(client, step.text.data() + i, n, MSG_NOSIGNAL) < 0) break;
          if (step.ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
        }
        break;
      case Script::Step::Pause:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
        break;
      case Script::Step::Silence: {
        while (receiveMore(client, pending_, stopping_)) {
        }
        std::lock_guard<std::mutex> g(mutex_);
        received_ += pending_;
        pending_.clear();
        return false;
      }
      case Script::Step::Close:
        return false;
    }
  }
  return true;
}

// After a script, take what the client still sends (a QUIT, say) until it closes.
void ScriptedServer::drain(int client) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!stopping_ && std::chrono::steady_clock::now() < until) {
    pollfd p{client, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char buf[4096];
    ssize_t n = ::recv(client, buf, sizeof buf, 0);
    if (n <= 0) break;
    std::lock_guard<std::mutex> g(mutex_);
    received_.append(buf, static_cast<std::size_t>(n));
  }
}

}  // namespace testsupport
