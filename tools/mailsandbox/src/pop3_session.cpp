#include "pop3_session.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "platform/files.h"
#include "platform/whole_file.h"
#include "text.h"

namespace mailsandbox {

namespace {

std::string reply(std::string_view text) { return std::string(text) + "\r\n"; }

// The message's lines as POP3 sends them: each ended with CR LF, a leading "." doubled, then the
// end line. With bodyLines set only the header, the empty line and that many body lines (TOP).
std::string transmission(std::string_view message, std::optional<long> bodyLines = std::nullopt) {
  std::string text;
  bool inBody = false;
  long bodyLinesSent = 0;
  while (!message.empty()) {
    if (inBody && bodyLines && bodyLinesSent++ == *bodyLines) break;
    std::size_t end = message.find('\n');
    std::string_view line = withoutLineEnd(message.substr(0, end));
    message.remove_prefix(end == std::string_view::npos ? message.size() : end + 1);
    if (!line.empty() && line.front() == '.') text += '.';
    text.append(line).append("\r\n");
    if (line.empty()) inBody = true;
  }
  return text + ".\r\n";
}

// Octets of the message with CR LF line ends, as RETR sends it before byte-stuffing.
std::size_t transmittedSize(std::string_view message) {
  std::size_t size = message.size();
  for (std::size_t i = 0; i < message.size(); ++i)
    if (message[i] == '\n' && (i == 0 || message[i - 1] != '\r')) ++size;
  if (!message.empty() && message.back() != '\n') size += 2;
  return size;
}

std::optional<long> number(std::string_view text) {
  long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

}  // namespace

Pop3Session::~Pop3Session() {
  if (mailbox_) store_.unlockMailbox(mailbox_->address());
}

std::string Pop3Session::greeting() {
  events_("connected");
  return reply("+OK mailsandbox POP3 test stand-in for the mail server ready");
}

std::string Pop3Session::onLineTooLong() {
  finished_ = true;
  events_("line too long, connection closed");
  return reply("-ERR line too long, closing the connection");
}

std::string Pop3Session::onLine(std::string_view line) {
  line = withoutLineEnd(line);
  std::size_t space = line.find(' ');
  std::string verb = toLower(line.substr(0, space));
  std::string_view argument = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  if (verb == "capa")
    return reply("+OK capability list follows") + reply("USER") + reply("TOP") + reply("UIDL") +
           (tlsAvailable_ && !secured_ ? reply("STLS") : std::string()) + reply(".");
  if (verb == "stls" && tlsAvailable_) {
    if (secured_ || mailbox_) return reply("-ERR STLS not available now");
    tlsRequested_ = true;
    userName_.reset();
    events_("STLS");
    return reply("+OK begin TLS");
  }
  if (verb == "noop") return reply("+OK");
  if (verb == "quit") return quit();
  return mailbox_ ? transactionCommand(verb, argument) : authorizationCommand(verb, argument);
}

void Pop3Session::onTlsStarted() {
  secured_ = true;
  events_("TLS started");
}

std::string Pop3Session::authorizationCommand(std::string_view verb, std::string_view argument) {
  if (verb == "user") {
    if (argument.empty()) return reply("-ERR USER needs a name");
    userName_ = std::string(argument);
    return reply("+OK send PASS");
  }
  if (verb == "pass") return login(argument);
  if (verb == "stat" || verb == "list" || verb == "uidl" || verb == "retr" || verb == "top" ||
      verb == "dele" || verb == "rset")
    return reply("-ERR log in first");
  return reply("-ERR unknown command");
}

std::string Pop3Session::login(std::string_view password) {
  if (!userName_) return reply("-ERR send USER first");
  std::string user = *std::exchange(userName_, std::nullopt);
  std::optional<Mailbox> mailbox = accounts_.find(user);
  if (!mailbox || !accounts_.passwordMatches(*mailbox, password)) {
    events_("login as " + user + " refused");
    return reply("-ERR [AUTH] invalid user name or password");
  }
  if (!store_.tryLockMailbox(mailbox->address())) {
    events_("login as " + mailbox->address() + " refused: mailbox in use");
    return reply("-ERR [IN-USE] mailbox in use by another session");
  }
  mailbox_ = std::move(mailbox);
  for (StoredMessage& stored : store_.listMessages(accounts_.directory(*mailbox_))) {
    std::string content;
    if (platform::readWholeFile(stored.path, content))
      entries_.push_back({std::move(stored), transmittedSize(content), false});
  }
  events_("logged in as " + mailbox_->address() + ", " + std::to_string(entries_.size()) + " messages");
  return reply("+OK " + mailbox_->address() + " has " + std::to_string(liveCount()) + " messages (" +
               std::to_string(liveSize()) + " octets)");
}

std::string Pop3Session::transactionCommand(std::string_view verb, std::string_view argument) {
  if (verb == "stat") return reply("+OK " + std::to_string(liveCount()) + " " + std::to_string(liveSize()));
  if (verb == "list") return listing(argument, false);
  if (verb == "uidl") return listing(argument, true);
  if (verb == "retr") return retrieve(argument, false);
  if (verb == "top") return retrieve(argument, true);
  if (verb == "dele") {
    std::optional<std::size_t> index = liveIndex(argument);
    if (!index) return reply("-ERR no such message");
    entries_[*index].deleted = true;
    return reply("+OK message " + std::string(argument) + " deleted");
  }
  if (verb == "rset") {
    for (Entry& each : entries_) each.deleted = false;
    return reply("+OK " + std::to_string(liveCount()) + " messages (" + std::to_string(liveSize()) +
                 " octets)");
  }
  if (verb == "user" || verb == "pass") return reply("-ERR already logged in");
  return reply("-ERR unknown command");
}

std::string Pop3Session::listing(std::string_view argument, bool uniqueIds) const {
  auto line = [&](std::size_t index) {
    const Entry& each = entries_[index];
    return std::to_string(index + 1) + " " + (uniqueIds ? each.stored.id : std::to_string(each.size));
  };
  if (!argument.empty()) {
    std::optional<std::size_t> index = liveIndex(argument);
    if (!index) return reply("-ERR no such message");
    return reply("+OK " + line(*index));
  }
  std::string text = reply(uniqueIds ? "+OK unique-id listing follows"
                                     : "+OK " + std::to_string(liveCount()) + " messages (" +
                                           std::to_string(liveSize()) + " octets)");
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (!entries_[i].deleted) text += reply(line(i));
  return text + reply(".");
}

std::string Pop3Session::retrieve(std::string_view argument, bool headOnly) {
  std::string_view numberText = argument.substr(0, argument.find(' '));
  std::optional<long> bodyLines;
  if (headOnly) {
    std::size_t space = argument.find(' ');
    bodyLines =
        space == std::string_view::npos ? std::nullopt : number(trimBlanks(argument.substr(space + 1)));
    if (!bodyLines) return reply("-ERR syntax: TOP message lines");
  }
  std::optional<std::size_t> index = liveIndex(numberText);
  if (!index) return reply("-ERR no such message");
  const StoredMessage& stored = entries_[*index].stored;
  std::string content;
  if (!platform::readWholeFile(stored.path, content)) return reply("-ERR message is no longer available");
  if (headOnly) return reply("+OK") + transmission(content, bodyLines);
  events_("RETR " + std::string(numberText) + " (" + stored.id + ")");
  return reply("+OK " + std::to_string(transmittedSize(content)) + " octets") + transmission(content);
}

std::string Pop3Session::quit() {
  finished_ = true;
  if (!mailbox_) return reply("+OK bye");
  std::size_t removed = 0;
  std::size_t failed = 0;
  for (const Entry& each : entries_) {
    if (!each.deleted) continue;
    if (platform::deleteFile(each.stored.path) || !platform::fileExists(each.stored.path))
      ++removed;
    else
      ++failed;
  }
  store_.unlockMailbox(mailbox_->address());
  events_("QUIT, " + std::to_string(removed) + " messages deleted from " + mailbox_->address());
  mailbox_.reset();
  if (failed > 0) return reply("-ERR " + std::to_string(failed) + " deleted messages not removed");
  return reply("+OK mailsandbox signing off (" + std::to_string(removed) + " messages deleted)");
}

std::optional<std::size_t> Pop3Session::liveIndex(std::string_view numberText) const {
  std::optional<long> n = number(trimBlanks(numberText));
  if (!n || *n < 1 || static_cast<std::size_t>(*n) > entries_.size()) return std::nullopt;
  std::size_t index = static_cast<std::size_t>(*n - 1);
  if (entries_[index].deleted) return std::nullopt;
  return index;
}

std::size_t Pop3Session::liveCount() const {
  return static_cast<std::size_t>(
      std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.deleted; }));
}

std::size_t Pop3Session::liveSize() const {
  std::size_t size = 0;
  for (const Entry& each : entries_)
    if (!each.deleted) size += each.size;
  return size;
}

}  // namespace mailsandbox
