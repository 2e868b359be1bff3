#pragma once
// A POP3 session for tests: records what it announces and opens the protected parts.

#include <string>
#include <vector>

#include "postwell/pop3_connection.h"
#include "scripted_server.h"

class RecordingPop3Session : public CPop3Connection {
 public:
  void SetDeviceStatus(const char* status) override { statuses.emplace_back(status); }
  using CPop3Connection::List;
  using CPop3Connection::m_arrMessageID;
  using CPop3Connection::m_arrMessageSize;
  using CPop3Connection::m_bConnected;

  std::vector<std::string> statuses;
};

// The greeting and a successful USER/PASS login of alice with "secret".
inline testsupport::Script& greetAndLogIn(testsupport::Script& script) {
  return script.send("+OK ready\r\n")
      .expect("USER alice")
      .send("+OK\r\n")
      .expect("PASS secret")
      .send("+OK logged in\r\n");
}
