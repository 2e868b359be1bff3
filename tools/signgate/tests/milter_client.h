#pragma once
// A scripted MTA for the gate: speaks the milter protocol (version 6) over TCP, sends one message's
// events as an MTA does and collects the gate's answers, the changes of the end of the message
// included, byte for byte.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace milterclient {

struct Change {
  char kind;          // '+' add recipient, '-' delete recipient, 'h' add, 'i' insert, 'm' change field
  std::uint32_t index = 0;
  std::string name;   // the recipient for '+' and '-'
  std::string value;
};

struct Answer {
  char action = 0;    // 'a' accept, 'c' continue, 'r' reject, 't' tempfail, 'y' reply, 'd' discard
  std::string reply;  // the text of 'y'
  std::vector<Change> changes;
};

struct ScriptedMessage {
  std::string authLogin;  // {auth_authen}; empty: not logged in
  std::string sender;     // the MAIL FROM argument, "<ann@example.test>"
  std::vector<std::string> recipients;
  std::vector<std::pair<std::string, std::string>> headers;  // name, value as the MTA passes them
  std::string queueId = "4AbC123";
  std::string body = "Hello.\r\n";
};

class Client {
 public:
  ~Client();
  // Connects and negotiates; false with the reason in error.
  bool open(int port, std::string& error);
  // The protocol steps the gate asked not to be sent (SMFIP_NO* bits).
  std::uint32_t skippedSteps() const { return skipped_; }
  // Sends the whole message and returns the gate's answer to the first step it did not continue,
  // or to the end of the message. action 0 when the connection failed.
  Answer send(const ScriptedMessage& message);
  void close();

 private:
  bool write(char command, const std::string& data);
  bool read(char& command, std::string& data);
  Answer answer();
  void macros(char command, const std::map<std::string, std::string>& values);

  int socket_ = -1;
  std::uint32_t skipped_ = 0;
};

// Starts the gate program on a loopback port (0: a free one) with the rule file; killed by the
// destructor.
class GateProcess {
 public:
  GateProcess(const std::string& rulesFile, const std::string& logFile, int port = 0);
  ~GateProcess();
  int port() const { return port_; }
  bool running() const { return pid_ > 0; }
  // SIGTERM, and the exit status once the gate has stopped.
  int stop();
  // SIGKILL, for a test of what the MTA does without the gate; the destructor does the same.
  void kill();

 private:
  int port_ = 0;
  int pid_ = -1;
};

}  // namespace milterclient
