#pragma once
#include <utility>
// The POP3 side: USER, PASS, CAPA, STAT, LIST, UIDL, RETR, TOP, DELE, RSET, NOOP, QUIT. A session
// sees the mailbox as it was at login, holds it exclusively, and removes the messages marked for
// deletion only at QUIT; a connection that ends otherwise removes nothing.

#include <optional>
#include <string>
#include <vector>

#include "accounts.h"
#include "line_session.h"
#include "mail_store.h"

namespace mailsandbox {

class Pop3Session : public LineSession {
 public:
  Pop3Session(const Accounts& accounts, MailStore& store, EventSink events, bool tlsAvailable = false)
      : accounts_(accounts), store_(store), events_(std::move(events)), tlsAvailable_(tlsAvailable) {}
  ~Pop3Session() override;

  std::string greeting() override;
  std::string onLine(std::string_view line) override;
  std::string onLineTooLong() override;
  bool finished() const override { return finished_; }
  bool takeTlsRequest() override { return std::exchange(tlsRequested_, false); }
  void onTlsStarted() override;

 private:
  struct Entry {
    StoredMessage stored;
    std::size_t size = 0;  // octets as sent, CR LF line ends, before byte-stuffing
    bool deleted = false;
  };

  std::string authorizationCommand(std::string_view verb, std::string_view argument);
  std::string transactionCommand(std::string_view verb, std::string_view argument);
  std::string login(std::string_view password);
  std::string listing(std::string_view argument, bool uniqueIds) const;
  std::string retrieve(std::string_view argument, bool headOnly);
  std::string quit();
  // The index of a message number that exists and is not marked for deletion.
  std::optional<std::size_t> liveIndex(std::string_view number) const;
  std::size_t liveCount() const;
  std::size_t liveSize() const;

  const Accounts& accounts_;
  MailStore& store_;
  EventSink events_;
  bool finished_ = false;
  bool tlsAvailable_ = false;
  bool tlsRequested_ = false;
  bool secured_ = false;
  std::optional<std::string> userName_;
  std::optional<Mailbox> mailbox_;  // set while logged in
  std::vector<Entry> entries_;
};

}  // namespace mailsandbox
