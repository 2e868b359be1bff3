#pragma once
// The Postfix SMTP server that CTest starts for the tests named "postfix"
// (scripts/peers/postfix.sh), which delivers mail for alice, bob and boss @example.test into the
// maildirs of the Dovecot beside it, and the way back: every message of a mailbox fetched over
// POP3. For tests that link Postwell.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "dovecot_peer.h"
#include "postwell/mailbox_device.h"
#include "postwell/pop3_message.h"
#include "temp_dir.h"

namespace postfix {

struct Peers {
  int smtpPort = 0;
  dovecot::Peer dovecot;
};

// False, with the reason in why, when Postfix or its Dovecot is not running.
inline bool find(Peers& peers, std::string& why) {
  testsupport::RunningPeer postfix;
  if (!testsupport::findPeer("Postfix", postfix, why) || !dovecot::Peer::find(peers.dovecot, why))
    return false;
  peers.smtpPort = postfix.port;
  return true;
}

// Retrieves and deletes every message of the user's mailbox.
inline std::vector<std::string> takeAll(int pop3Port, const std::string& user) {
  CMailBoxDevice mailbox;
  unsigned long error = 0;
  std::vector<std::string> messages;
  EXPECT_EQ(mailbox.Connect("127.0.0.1", user.c_str(), (user + "-secret").c_str(), error, pop3Port),
            1)
      << mailbox.GetLastCommandResponse();
  int count = 0, size = 0;
  mailbox.Statistics(count, size, error);
  for (int n = 1; n <= count; ++n) {
    CPop3Message message;
    EXPECT_EQ(mailbox.Retrieve(n, message, error), 1);
    messages.emplace_back(message.GetMessageText() ? message.GetMessageText() : "");
    mailbox.Delete(n, error);
  }
  mailbox.Disconnect();
  return messages;
}

// The messages delivered to the user, waiting up to ten seconds for the expected number: Postfix
// delivers in the background.
inline std::vector<std::string> delivered(const Peers& peers, const std::string& user,
                                          std::size_t expected) {
  std::vector<std::string> all;
  for (int attempt = 0; attempt < 200 && all.size() < expected; ++attempt) {
    for (std::string& m : takeAll(peers.dovecot.port(), user)) all.push_back(std::move(m));
    if (all.size() < expected) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return all;
}

}  // namespace postfix
