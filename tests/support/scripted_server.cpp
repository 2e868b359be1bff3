#include "scripted_server.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "platform/socket.h"

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
  // Through the platform's sockets, on every system; the address is a dotted IPv4 literal.
  std::uint32_t ip = 0;
  if (address.find_first_not_of("0123456789.") != std::string::npos ||
      !platform::resolveIPv4(address.c_str(), ip) || !listener_.listenOn(ip, port))
    throw std::runtime_error("scripted server cannot listen on " + address + ":" + std::to_string(port));
  port_ = listener_.port();
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
  listener_.close();
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
    const Socket client = listener_.accept(20);
    if (client == platform::kInvalidSocket) continue;
    ++accepted_;
    if (next < scripts_.size()) {
      pending_.clear();
      bool keepOpen = play(client, scripts_[next++]);
      ++finished_;
      if (keepOpen) drain(client);
    }
    platform::closeSocket(client);
  }
}

// Waits for more bytes from the client; false when it closed, failed or the server is stopping.
static bool receiveMore(platform::SocketHandle client, std::string& into, const std::atomic<bool>& stopping) {
  char buf[65536];
  while (!stopping) {
    int rc = platform::waitReadable(client, 20);
    if (rc == 0) continue;
    if (rc < 0) return false;
    long n = platform::receiveSome(client, buf, sizeof buf);
    if (n <= 0) return false;
    into.append(buf, static_cast<std::size_t>(n));
    return true;
  }
  return false;
}

bool ScriptedServer::readUntil(Socket client, const std::string& terminator) {
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

bool ScriptedServer::readLine(Socket client, std::string& line) {
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

bool ScriptedServer::play(Socket client, const Script& script) {
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
        platform::sendAll(client, step.text.data(), step.text.size());
        break;
      case Script::Step::SendInPieces:
        for (std::size_t i = 0; i < step.text.size() && !stopping_; i += step.pieceSize) {
          std::size_t n = std::min(step.pieceSize, step.text.size() - i);
          // A client that has gone takes no more pieces.
          if (platform::sendAll(client, step.text.data() + i, n) < 0) break;
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
void ScriptedServer::drain(Socket client) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!stopping_ && std::chrono::steady_clock::now() < until) {
    if (platform::waitReadable(client, 20) <= 0) continue;
    char buf[4096];
    long n = platform::receiveSome(client, buf, sizeof buf);
    if (n <= 0) break;
    std::lock_guard<std::mutex> g(mutex_);
    received_.append(buf, static_cast<std::size_t>(n));
  }
}

}  // namespace testsupport
