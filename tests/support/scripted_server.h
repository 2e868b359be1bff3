#pragma once
// A scripted TCP server on loopback for protocol tests: each accepted connection plays the next
// script — expect a line, send these bytes (whole, in pieces, after a delay), stay silent, close —
// and records everything the client sent.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp_listener.h"

namespace testsupport {

class Script {
 public:
  // Reads one line through CR LF and records a mismatch when it differs (CR LF not included).
  Script& expect(std::string line);
  // Reads one line and records a mismatch unless it starts with the prefix.
  Script& expectPrefix(std::string prefix);
  // Reads until the terminator has arrived (it is included in what was received).
  Script& readUntil(std::string terminator);
  Script& send(std::string bytes);
  // Sends the bytes in pieces of pieceSize with a pause between them.
  Script& sendInPieces(std::string bytes, std::size_t pieceSize, int pauseMs = 2);
  Script& pause(int ms);
  // Sends nothing more and keeps the connection open until the client closes or the server stops.
  Script& silence();
  Script& close();

 private:
  friend class ScriptedServer;
  struct Step {
    enum Kind { Expect, ExpectPrefix, ReadUntil, Send, SendInPieces, Pause, Silence, Close } kind;
    std::string text;
    std::size_t pieceSize = 0;
    int ms = 0;
  };
  std::vector<Step> steps_;
};

class ScriptedServer {
 public:
  ScriptedServer();
  // Listens on the given IPv4 address and port (0: any free port); throws when it cannot.
  ScriptedServer(const std::string& address, std::uint16_t port);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::uint16_t port() const { return port_; }
  // The script of the next connection to be accepted.
  Script& connection();
  // Starts accepting; connections beyond the scripts are closed at once.
  void start();
  // Waits until every script has finished (or the timeout passed); true when they all finished.
  bool waitDone(int timeoutMs = 20000);
  void stop();

  // Everything the clients sent, over all connections, in order.
  std::string received() const;
  std::vector<std::string> mismatches() const;
  int accepted() const { return accepted_; }

 private:
  using Socket = platform::SocketHandle;
  void run();
  // False when the script closed the connection itself.
  bool play(Socket client, const Script& script);
  void drain(Socket client);
  bool readLine(Socket client, std::string& line);
  bool readUntil(Socket client, const std::string& terminator);
  void note(const std::string& mismatch);

  platform::TcpListener listener_;
  std::uint16_t port_ = 0;
  std::vector<Script> scripts_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::atomic<int> finished_{0};
  mutable std::mutex mutex_;
  std::string received_;
  std::string pending_;  // received bytes not yet consumed by a read step
  std::vector<std::string> mismatches_;
};

}  // namespace testsupport
