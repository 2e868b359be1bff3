#pragma once
// Signer against the test Dovecot (its POP3 mailboxes) and the test Postfix (SMTP with AUTH LOGIN,
// delivering into those mailboxes) that CTest starts: see scripts/peers/.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "dovecot_peer.h"
#include "postwell/mailbox_device.h"
#include "signer_fixture.h"

namespace realservers {

// The Postfix SMTP port; 0, with the reason in why, when it does not run.
inline int FindPostfix(std::string& why) {
  testsupport::RunningPeer postfix;
  return testsupport::findPeer("Postfix", postfix, why) ? postfix.port : 0;
}

// Takes every message out of the user's mailbox over POP3.
inline std::vector<std::string> TakeAll(int pop3Port, const std::string& user) {
  CMailBoxDevice mailbox;
  unsigned long error = 0;
  std::vector<std::string> messages;
  if (!mailbox.Connect("127.0.0.1", user.c_str(), (user + "-secret").c_str(), error, pop3Port))
    return messages;
  int count = 0, size = 0;
  mailbox.Statistics(count, size, error);
  for (int n = 1; n <= count; ++n) {
    CPop3Message message;
    if (mailbox.Retrieve(n, message, error) && message.GetMessageText())
      messages.emplace_back(message.GetMessageText());
    mailbox.Delete(n, error);
  }
  mailbox.Disconnect();
  return messages;
}

// Waits until the user has received the number of messages (delivery takes a moment).
inline std::vector<std::string> Delivered(int pop3Port, const std::string& user,
                                          std::size_t expected) {
  std::vector<std::string> all;
  for (int attempt = 0; attempt < 200 && all.size() < expected; ++attempt) {
    for (std::string& message : TakeAll(pop3Port, user)) all.push_back(std::move(message));
    if (all.size() < expected) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return all;
}

inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 15000) {
  return QTest::qWaitFor(condition, timeoutMs);
}

}  // namespace realservers
