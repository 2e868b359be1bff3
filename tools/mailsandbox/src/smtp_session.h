#pragma once
// The SMTP side: EHLO/HELO, AUTH LOGIN, MAIL, RCPT, DATA, RSET, NOOP, VRFY, HELP, QUIT. Mail is
// taken from anyone on loopback; AUTH is optional, but a failed AUTH is refused with 535.

#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "accounts.h"
#include "delivery.h"
#include "line_session.h"

namespace mailsandbox {

class SmtpSession : public LineSession {
 public:
  static constexpr std::size_t kMaxMessageBytes = 64 * 1024 * 1024;
  static constexpr std::size_t kMaxRecipients = 1000;

  SmtpSession(const Accounts& accounts, Delivery& delivery, EventSink events, bool tlsAvailable = false)
      : accounts_(accounts), delivery_(delivery), events_(std::move(events)), tlsAvailable_(tlsAvailable) {}

  std::string greeting() override;
  std::string onLine(std::string_view line) override;
  std::string onLineTooLong() override;
  bool finished() const override { return finished_; }
  bool takeTlsRequest() override { return std::exchange(tlsRequested_, false); }
  // A fresh start: the client greets again, and logs in again.
  void onTlsStarted() override;

 private:
  enum class AuthStep { kNone, kUserName, kPassword };

  std::string onCommand(std::string_view line);
  std::string onDataLine(std::string_view line);
  std::string onAuthLine(std::string_view line);
  std::string hello(std::string_view verb, std::string_view argument);
  std::string auth(std::string_view argument);
  std::string checkPassword(std::string_view password);
  std::string mail(std::string_view argument);
  std::string recipient(std::string_view argument);
  std::string data();
  std::string endOfData();
  void resetTransaction();

  const Accounts& accounts_;
  Delivery& delivery_;
  EventSink events_;
  bool finished_ = false;
  bool greeted_ = false;
  std::optional<std::string> authenticatedUser_;
  AuthStep authStep_ = AuthStep::kNone;
  std::string authUser_;
  std::optional<std::string> sender_;
  std::vector<std::string> recipients_;
  bool inData_ = false;
  std::string message_;
  bool messageTooBig_ = false;
  bool tlsAvailable_;
  bool tlsRequested_ = false;
  bool secured_ = false;
};

}  // namespace mailsandbox
