#include "smtp_session.h"

#include "base64.h"
#include "text.h"

namespace mailsandbox {

namespace {

constexpr const char* kHostName = "mailsandbox";

std::string reply(std::string_view text) { return std::string(text) + "\r\n"; }

// The address of "FROM:<a@b> SIZE=1", "FROM: <a@b>" or "FROM:a@b" (keyword "FROM:"); nothing when
// the argument has another form. "<>" gives an empty address.
std::optional<std::string> pathArgument(std::string_view argument, std::string_view keyword) {
  argument = trimBlanks(argument);
  if (!startsWithIgnoringCase(argument, keyword)) return std::nullopt;
  argument = trimBlanks(argument.substr(keyword.size()));
  std::string_view path;
  if (!argument.empty() && argument.front() == '<') {
    std::size_t close = argument.find('>');
    if (close == std::string_view::npos) return std::nullopt;
    path = argument.substr(1, close - 1);
  } else {
    path = argument.substr(0, argument.find(' '));
    if (path.empty()) return std::nullopt;
  }
  if (path.find_first_of("<> \t") != std::string_view::npos) return std::nullopt;
  return std::string(path);
}

}  // namespace

std::string SmtpSession::greeting() {
  events_("connected");
  return reply("220 mailsandbox ESMTP test stand-in for the mail server, not a mail server");
}

std::string SmtpSession::onLine(std::string_view line) {
  if (inData_) return onDataLine(line);
  if (authStep_ != AuthStep::kNone) return onAuthLine(withoutLineEnd(line));
  return onCommand(withoutLineEnd(line));
}

std::string SmtpSession::onLineTooLong() {
  finished_ = true;
  events_("line too long, connection closed");
  return reply("500 5.5.0 Line too long, closing the connection");
}

std::string SmtpSession::onCommand(std::string_view line) {
  std::size_t space = line.find(' ');
  std::string verb = toLower(line.substr(0, space));
  std::string_view argument = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  if (verb == "ehlo" || verb == "helo") return hello(verb, trimBlanks(argument));
  if (verb == "auth") return auth(trimBlanks(argument));
  if (verb == "mail") return mail(argument);
  if (verb == "rcpt") return recipient(argument);
  if (verb == "data") return data();
  if (verb == "rset") {
    resetTransaction();
    return reply("250 2.0.0 Ok");
  }
  if (verb == "noop") return reply("250 2.0.0 Ok");
  // Without a certificate STARTTLS stays the unknown command it always was.
  if (verb == "starttls" && tlsAvailable_) {
    if (secured_) return reply("454 4.7.0 TLS already active");
    if (!greeted_) return reply("503 5.5.1 Send EHLO first");
    tlsRequested_ = true;
    events_("STARTTLS");
    return reply("220 2.0.0 Ready to start TLS");
  }
  if (verb == "vrfy") return reply("252 2.5.2 Cannot VRFY user, but will accept the message");
  if (verb == "help") return reply("214 2.0.0 mailsandbox, a test stand-in for the mail server");
  if (verb == "quit") {
    finished_ = true;
    events_("QUIT");
    return reply("221 2.0.0 Bye");
  }
  return reply("500 5.5.2 Command not recognized");
}

std::string SmtpSession::hello(std::string_view verb, std::string_view argument) {
  if (argument.empty())
    return reply(verb == "ehlo" ? "501 5.5.4 Syntax: EHLO hostname" : "501 5.5.4 Syntax: HELO hostname");
  resetTransaction();
  greeted_ = true;
  std::string greeting = std::string(kHostName) + " greets " + std::string(argument);
  if (verb == "helo") return reply("250 " + greeting);
  return reply("250-" + greeting) + (tlsAvailable_ && !secured_ ? reply("250-STARTTLS") : std::string()) +
         reply("250-AUTH LOGIN") + reply("250-8BITMIME") +
         reply("250-SIZE " + std::to_string(kMaxMessageBytes)) + reply("250 HELP");
}

void SmtpSession::onTlsStarted() {
  secured_ = true;
  greeted_ = false;
  authenticatedUser_.reset();
  resetTransaction();
  events_("TLS started");
}

std::string SmtpSession::auth(std::string_view argument) {
  if (!greeted_) return reply("503 5.5.1 Send EHLO first");
  if (authenticatedUser_) return reply("503 5.5.1 Already authenticated");
  if (sender_) return reply("503 5.5.1 AUTH not allowed during a mail transaction");
  std::size_t space = argument.find(' ');
  if (!equalsIgnoringCase(argument.substr(0, space), "LOGIN"))
    return reply("504 5.5.4 Unrecognized authentication type, only LOGIN is offered");
  if (space == std::string_view::npos) {
    authStep_ = AuthStep::kUserName;
    return reply("334 VXNlcm5hbWU6");
  }
  return onAuthLine(trimBlanks(argument.substr(space + 1)));
}

std::string SmtpSession::onAuthLine(std::string_view line) {
  AuthStep step = authStep_ == AuthStep::kNone ? AuthStep::kUserName : authStep_;
  authStep_ = AuthStep::kNone;
  if (line == "*") return reply("501 5.7.0 Authentication cancelled");
  std::optional<std::string> decoded = decodeBase64(line);
  if (!decoded) return reply("501 5.5.2 Cannot decode the response");
  if (step == AuthStep::kPassword) return checkPassword(*decoded);
  authUser_ = std::move(*decoded);
  authStep_ = AuthStep::kPassword;
  return reply("334 UGFzc3dvcmQ6");
}

std::string SmtpSession::checkPassword(std::string_view password) {
  std::optional<Mailbox> mailbox = accounts_.find(authUser_);
  if (!mailbox || !accounts_.passwordMatches(*mailbox, password)) {
    events_("AUTH LOGIN as " + authUser_ + " refused");
    return reply("535 5.7.8 Authentication credentials invalid");
  }
  authenticatedUser_ = mailbox->address();
  events_("AUTH LOGIN as " + mailbox->address());
  return reply("235 2.7.0 Authentication successful");
}

std::string SmtpSession::mail(std::string_view argument) {
  if (!greeted_) return reply("503 5.5.1 Send HELO or EHLO first");
  if (sender_) return reply("503 5.5.1 Nested MAIL command");
  std::optional<std::string> sender = pathArgument(argument, "FROM:");
  if (!sender) return reply("501 5.5.4 Syntax: MAIL FROM:<address>");
  sender_ = std::move(*sender);
  return reply("250 2.1.0 Ok");
}

std::string SmtpSession::recipient(std::string_view argument) {
  if (!sender_) return reply("503 5.5.1 Need MAIL command first");
  std::optional<std::string> address = pathArgument(argument, "TO:");
  if (!address) return reply("501 5.5.4 Syntax: RCPT TO:<address>");
  if (recipients_.size() >= kMaxRecipients) return reply("452 4.5.3 Too many recipients");
  switch (delivery_.classify(*address)) {
    case RecipientKind::kInvalid: return reply("501 5.1.3 Bad recipient address syntax");
    case RecipientKind::kUnknownMailbox:
      events_("RCPT " + *address + " refused: no such mailbox");
      return reply("550 5.1.1 <" + *address + ">: no such mailbox here");
    case RecipientKind::kLocal:
    case RecipientKind::kRemote: break;
  }
  recipients_.push_back(std::move(*address));
  return reply("250 2.1.5 Ok");
}

std::string SmtpSession::data() {
  if (!sender_) return reply("503 5.5.1 Need MAIL command first");
  if (recipients_.empty()) return reply("554 5.5.1 No valid recipients");
  inData_ = true;
  message_.clear();
  messageTooBig_ = false;
  return reply("354 End data with <CR><LF>.<CR><LF>");
}

std::string SmtpSession::onDataLine(std::string_view line) {
  if (withoutLineEnd(line) == "." && line.back() == '\n') return endOfData();
  if (!line.empty() && line.front() == '.') line.remove_prefix(1);
  if (message_.size() + line.size() > kMaxMessageBytes) messageTooBig_ = true;
  if (!messageTooBig_) message_.append(line);
  return std::string();
}

std::string SmtpSession::endOfData() {
  inData_ = false;
  std::string answer;
  if (messageTooBig_) {
    events_("message from " + *sender_ + " refused: larger than " + std::to_string(kMaxMessageBytes) +
            " bytes");
    answer = reply("552 5.3.4 Message too big");
  } else {
    DeliveryReport report = delivery_.deliver(
        Envelope{*sender_, recipients_, authenticatedUser_.value_or("")}, message_);
    for (const std::string& warning : report.warnings) events_("warning: " + warning);
    if (report.accepted) {
      events_("message " + report.queueId + " from " + *sender_ + ": " + report.summary);
      answer = reply("250 2.0.0 Ok: queued as " + report.queueId);
    } else if (report.refusedForever) {
      events_("message from " + *sender_ + " refused: " + report.summary);
      answer = reply("550 5.7.1 Approval marker refused: only the supervisor, logged in, may approve");
    } else {
      events_("message from " + *sender_ + " not accepted: " + report.summary);
      answer = reply("451 4.3.0 Message not accepted: " + report.summary);
    }
  }
  resetTransaction();
  return answer;
}

void SmtpSession::resetTransaction() {
  sender_.reset();
  recipients_.clear();
  message_.clear();
  message_.shrink_to_fit();
}

}  // namespace mailsandbox
