#pragma once
// The Dovecot POP3 server that CTest starts for the tests named "dovecot" (scripts/peers/dovecot.sh,
// cmake/Peers.cmake): where it listens, and its users' maildirs, which tests fill and empty
// directly. Accounts: alice, bob and boss, each with the password "<name>-secret".

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "test_peer.h"

namespace dovecot {

// Dovecot serves the mail as this uid.
inline constexpr int kMailOwner = 5000;

class Peer {
 public:
  // False, with the reason in why, when there is no running server.
  static bool find(Peer& peer, std::string& why) {
    testsupport::RunningPeer running;
    if (!testsupport::findPeer("Dovecot", running, why)) return false;
    peer.root_ = running.dir;
    peer.port_ = running.port;
    return true;
  }

  int port() const { return port_; }

  // Removes every message of the user's mailbox.
  void clear(const std::string& user) const {
    for (const char* folder : {"new", "cur", "tmp"})
      for (const auto& entry : std::filesystem::directory_iterator(root_ / "mail" / user / folder))
        std::filesystem::remove(entry.path());
  }

  // Puts a message into the user's mailbox as a delivery agent does: written into tmp/, handed to
  // the mail owner, moved into new/. Messages delivered in a row keep their order.
  void deliver(const std::string& user, const std::string& text) const {
    static std::atomic<int> sequence{0};
    std::ostringstream name;
    name << 1700000000 + sequence.fetch_add(1) << ".M" << ::getpid() << ".mailsignoff-test";
    const std::filesystem::path box = root_ / "mail" / user;
    const std::filesystem::path temporary = box / "tmp" / name.str();
    {
      std::ofstream out(temporary, std::ios::binary);
      out << text;
    }
    if (::chown(temporary.c_str(), kMailOwner, kMailOwner) != 0) ADD_FAILURE() << "chown " << temporary;
    std::filesystem::rename(temporary, box / "new" / name.str());
  }

 private:
  std::filesystem::path root_;
  int port_ = 0;
};

// Tests against Dovecot: alice's mailbox is empty at the start. Without a server the test is skipped,
// or fails when CI is set.
class Test : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!Peer::find(peer, why)) SKIP_OR_FAIL_WITHOUT_PEER(why);
    peer.clear("alice");
  }

  Peer peer;
};

// The message as a POP3 server sends it: CR LF line ends.
inline std::string withCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The message as the session keeps it: CR LF line ends, byte-stuffed lines with their doubled dot.
inline std::string asRetrieved(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : withCrLf(text)) {
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = c == '\n';
  }
  return out;
}

}  // namespace dovecot
