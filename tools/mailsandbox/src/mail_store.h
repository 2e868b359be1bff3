#pragma once
// Message files: queue numbers, storing into mailbox folders and the outbox, listing a mailbox,
// and the exclusive access of one POP3 session to a mailbox. One object serves every session of
// the process; all operations are safe to call from several threads.

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "layout.h"

namespace mailsandbox {

struct StoredMessage {
  std::string id;  // file name without ".msg", also the POP3 unique id
  std::string path;
};

class MailStore {
 public:
  explicit MailStore(Layout layout) : layout_(std::move(layout)) {}

  // "md5" and a number of at least nine digits, never handed out before under this root: the last
  // number is kept in App/mailsandbox.ini, and the first id of a run also lies above every stored
  // file's number.
  std::string nextQueueId();

  // "<directory>/<id>.msg", written whole; an existing file of that name is never replaced.
  bool storeMessage(const std::string& directory, const std::string& id, std::string_view bytes);
  void removeMessage(const std::string& directory, const std::string& id);
  // Outbox/<id>.msg and Outbox/<id>.env, an INI file with [Envelope] From and To (comma-separated).
  bool storeInOutbox(const std::string& id, std::string_view bytes, const std::string& sender,
                     const std::vector<std::string>& recipients);

  // The messages of a mailbox folder, oldest (lowest id) first.
  std::vector<StoredMessage> listMessages(const std::string& directory) const;

  // False when another session holds the mailbox.
  bool tryLockMailbox(const std::string& address);
  void unlockMailbox(const std::string& address);

 private:
  std::uint64_t highestStoredNumber() const;

  Layout layout_;
  std::mutex mutex_;
  std::uint64_t lastNumber_ = 0;
  std::set<std::string> lockedMailboxes_;
};

}  // namespace mailsandbox
