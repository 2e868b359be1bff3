#include "milter_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace milterclient {

namespace {

constexpr int kReadTimeoutMs = 10000;

void put32(std::string& data, std::uint32_t value) {
  const std::uint32_t network = htonl(value);
  data.append(reinterpret_cast<const char*>(&network), 4);
}

std::uint32_t get32(const std::string& data, std::size_t at) {
  std::uint32_t network = 0;
  if (data.size() >= at + 4) std::memcpy(&network, data.data() + at, 4);
  return ntohl(network);
}

std::string zeroEnded(std::initializer_list<std::string> parts) {
  std::string data;
  for (const std::string& part : parts) data += part + '\0';
  return data;
}

// The zero-ended strings of data from position at.
std::vector<std::string> strings(const std::string& data, std::size_t at) {
  std::vector<std::string> found;
  while (at < data.size()) {
    const std::size_t end = data.find('\0', at);
    found.push_back(data.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return found;
}

int freePort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  return ntohs(address.sin_port);
}

int connectTo(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return s;
  ::close(s);
  return -1;
}

}  // namespace

Client::~Client() { close(); }

void Client::close() {
  if (socket_ < 0) return;
  write('Q', "");
  ::close(socket_);
  socket_ = -1;
}

bool Client::write(char command, const std::string& data) {
  std::string packet;
  put32(packet, static_cast<std::uint32_t>(data.size() + 1));
  packet += command;
  packet += data;
  std::size_t sent = 0;
  while (sent < packet.size()) {
    const ssize_t n = ::send(socket_, packet.data() + sent, packet.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool Client::read(char& command, std::string& data) {
  auto readExactly = [&](char* into, std::size_t size) {
    for (std::size_t got = 0; got < size;) {
      pollfd ready{socket_, POLLIN, 0};
      if (::poll(&ready, 1, kReadTimeoutMs) <= 0) return false;
      const ssize_t n = ::recv(socket_, into + got, size - got, 0);
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    return true;
  };
  char header[4];
  if (!readExactly(header, 4)) return false;
  std::uint32_t length = 0;
  std::memcpy(&length, header, 4);
  length = ntohl(length);
  if (length == 0 || length > (1u << 24)) return false;
  std::string packet(length, '\0');
  if (!readExactly(packet.data(), length)) return false;
  command = packet[0];
  data = packet.substr(1);
  return true;
}

bool Client::open(int port, std::string& error) {
  socket_ = connectTo(port);
  if (socket_ < 0) {
    error = "cannot connect to the gate on port " + std::to_string(port);
    return false;
  }
  std::string offer;
  put32(offer, 6);
  put32(offer, 0x1ff);     // every change an MTA can make
  put32(offer, 0x1fffff);  // every step may be skipped
  char command = 0;
  std::string data;
  if (!write('O', offer) || !read(command, data) || command != 'O' || data.size() < 12) {
    error = "the gate did not negotiate";
    return false;
  }
  skipped_ = get32(data, 8);
  return true;
}

void Client::macros(char command, const std::map<std::string, std::string>& values) {
  std::string data(1, command);
  for (const auto& [name, value] : values) data += zeroEnded({name, value});
  write('D', data);
}

Answer Client::answer() {
  Answer result;
  for (;;) {
    char command = 0;
    std::string data;
    if (!read(command, data)) return Answer{};
    switch (command) {
      case '+':
      case '-':
        result.changes.push_back({command, 0, strings(data, 0).at(0), ""});
        continue;
      case 'h': {
        const auto parts = strings(data, 0);
        result.changes.push_back({command, 0, parts.at(0), parts.size() > 1 ? parts[1] : ""});
        continue;
      }
      case 'i':
      case 'm': {
        const auto parts = strings(data, 4);
        result.changes.push_back(
            {command, get32(data, 0), parts.at(0), parts.size() > 1 ? parts[1] : ""});
        continue;
      }
      case 'p':
        continue;  // progress: the gate is still working
      case 'y':
        result.reply = strings(data, 0).at(0);
        [[fallthrough]];
      default:
        result.action = command;
        return result;
    }
  }
}

Answer Client::send(const ScriptedMessage& message) {
  // Bits of the steps the gate asked to skip (SMFIP_NOCONNECT 0x1, NOHELO 0x2, NOMAIL 0x4,
  // NORCPT 0x8, NOBODY 0x10, NOHDRS 0x20, NOEOH 0x40, NODATA 0x200). The gate answers every step
  // it takes.
  auto sent = [&](std::uint32_t bit) { return (skipped_ & bit) == 0; };
  Answer result;
  auto step = [&](char command, const std::string& data, std::uint32_t bit) {
    if (!sent(bit)) return true;
    if (!write(command, data)) return false;
    result = answer();
    return result.action == 'c';
  };
  std::string connect = zeroEnded({"pc1.example.test"});
  connect += '4';
  connect += std::string("\x04\xd2", 2);
  connect += zeroEnded({"192.0.2.1"});
  macros('C', {{"j", "mx.example.test"}});
  if (!step('C', connect, 0x1)) return result;
  if (!step('H', zeroEnded({"pc1.example.test"}), 0x2)) return result;
  std::map<std::string, std::string> mail{{"i", message.queueId}};
  if (!message.authLogin.empty()) mail["{auth_authen}"] = message.authLogin;
  macros('M', mail);
  if (!step('M', zeroEnded({message.sender}), 0x4)) return result;
  for (const std::string& recipient : message.recipients)
    if (!step('R', zeroEnded({recipient}), 0x8)) return result;
  if (!step('T', "", 0x200)) return result;
  for (const auto& [name, value] : message.headers)
    if (!step('L', zeroEnded({name, value}), 0x20)) return result;
  if (!step('N', "", 0x40)) return result;
  if (!step('B', message.body, 0x10)) return result;
  macros('E', {{"i", message.queueId}});
  if (!write('E', "")) return Answer{};
  return answer();
}

GateProcess::GateProcess(const std::string& rulesFile, const std::string& logFile, int port) {
  port_ = port != 0 ? port : freePort();
  const std::string socket = "inet:" + std::to_string(port_) + "@127.0.0.1";
  pid_ = ::fork();
  if (pid_ == 0) {
    if (!logFile.empty()) {
      ::freopen(logFile.c_str(), "a", stderr);
    }
    ::execl(SIGNGATE_PATH, SIGNGATE_PATH, "--socket", socket.c_str(), "--rules", rulesFile.c_str(),
            "--stderr", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int attempt = 0; attempt < 500; ++attempt) {
    const int s = connectTo(port_);
    if (s >= 0) {
      ::close(s);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

GateProcess::~GateProcess() { kill(); }

int GateProcess::stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void GateProcess::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace milterclient
