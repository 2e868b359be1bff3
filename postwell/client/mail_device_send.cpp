// Sending one message: MAIL, RCPT, DATA, the content file in pieces, the end mark.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "client/command_value.h"
#include "client/line_session.h"
#include "client/mail_device_guarded.h"
#include "client/smtp_codes.h"
#include "platform/last_error.h"
#include "platform/native_path.h"
#include "platform/socket.h"
#include "postwell/mail_device.h"
#include "text_format/formatted.h"

using text_format::formatted;
using namespace postwell::smtp;
namespace session = postwell::line_session;

namespace {

constexpr unsigned kProgressMessage = 1287;
constexpr unsigned long kDeviceMessageParam = 512;
constexpr std::size_t kPieceSize = 16384;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openContent(const std::string& path) {
  std::error_code ec;
  if (path.empty() || std::filesystem::is_directory(platform::nativePath(path), ec)) return nullptr;
  return File(platform::openFile(path, "rb"));
}

std::uint64_t contentSize(const std::string& path, std::FILE* file) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(platform::nativePath(path), ec);
  if (!ec) return size;
  const long position = std::ftell(file);
  if (std::fseek(file, 0, SEEK_END) != 0) return 0;
  const long end = std::ftell(file);
  std::fseek(file, position, SEEK_SET);
  return end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

// Content lines go out as they are, except a line that holds nothing but a dot: the server would
// take it for the end of the data, and what follows for commands. It goes out as two dots, which is
// what it stands for whether or not the content was already byte-stuffed (a stuffed line "." would
// read ".."). A line ends with CR LF, a bare LF or a bare CR.
class DotLineStuffing {
 public:
  // Appends the piece to out; a dot at the end of the piece that starts a line waits for the next.
  void add(const char* piece, std::size_t length, std::string& out) {
    if (length == 0) return;
    std::size_t at = 0;
    if (heldDot_) {
      out += isLineEnd(piece[0]) ? ".." : ".";
      heldDot_ = false;
      previous_ = '.';
    }
    while (at < length) {
      const void* found = std::memchr(piece + at, '.', length - at);
      if (found == nullptr) {
        out.append(piece + at, length - at);
        break;
      }
      const std::size_t dot = static_cast<std::size_t>(static_cast<const char*>(found) - piece);
      out.append(piece + at, dot - at);
      at = dot + 1;
      if (!isLineEnd(dot > 0 ? piece[dot - 1] : previous_)) {
        out += '.';
      } else if (at == length) {
        heldDot_ = true;
        return;
      } else {
        out += isLineEnd(piece[at]) ? ".." : ".";
      }
    }
    previous_ = piece[length - 1];
  }
  // The content has ended: a dot still held is a line of its own.
  void finish(std::string& out) {
    if (heldDot_) out += "..";
    heldDot_ = false;
  }

 private:
  static bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

  // The content starts at the start of a line.
  char previous_ = '\n';
  bool heldDot_ = false;
};

}  // namespace

void CMailDevice::NotifyProgress(CMailDevice_SendMailInfo* progress) {
  if (m_hOwnerWnd != nullptr) m_hOwnerWnd->OnDeviceMessage(kProgressMessage, kDeviceMessageParam, progress);
}

void CMailDevice::AbandonTransaction() {
  const std::string rejectedReply = m_sLastCommandResponse;
  const int rejectedCode = m_nLastCommandResponseCode;
  bool reset = false;
  if (m_bReplyComplete) {
    LoggingInfo1("-> RSET\r\n", 0);
    reset = SendLine("RSET\r\n") && ReadCommandResponse(250, -1);
    LoggingInfo1(("<- " + m_sLastCommandResponse).c_str(), 0);
  }
  if (!reset) Disconnect();
  m_sLastCommandResponse = rejectedReply;
  m_nLastCommandResponseCode = rejectedCode;
}

void CMailDevice::RejectInTransaction(unsigned long& error, unsigned long code, const char* format) {
  Fail(error, code, formatted(format, m_sLastCommandResponse.c_str()));
  MarkRejection();
  AbandonTransaction();
  platform::setLastError(platform::err::kBadCommand);
}

int CMailDevice::SendRCPTForRecipient(CSMTPAddress& address, unsigned long& error) {
  return Guarded([&] {
    if (!CheckCommandValue(address.m_sAddress, RcptRefusal(address.m_sAddress), error)) return 0;
    return SendRcpt(address, error);
  }, error);
}

std::string CMailDevice::RcptRefusal(const std::string& address) {
  return "Refused to send the RCPT command: the address holds CR, LF or NUL (" + postwell::forDisplay(address) + ")";
}

int CMailDevice::TransactionStep(const std::string& line, const char* sendFailure, int expectedCode,
                                 unsigned long failureCode, const char* rejection, unsigned long& error) {
  if (!session::sendAnnounced(m_hSocket, line, false, session::Announce::BeforeSending,
                              [this](const std::string& announcement) { StatusAndLog(announcement); })) {
    FailWithSocketError(error, sendFailure);
    return 0;
  }
  if (!ReadCommandResponse(expectedCode, -1)) {
    RejectInTransaction(error, failureCode, rejection);
    return 0;
  }
  AnnounceReply();
  return 1;
}

int CMailDevice::SendRcpt(CSMTPAddress& address, unsigned long& error) {
  return TransactionStep("RCPT TO: <" + address.m_sAddress + ">\r\n",
                         "Failed in call to send RCPT command, GetLastError returns: %d", 250, kRcptRejected,
                         "An unexpected RCPT response was received %s", error);
}

int CMailDevice::MailFunc_SendMailMessage(CSMTPMessage& message, unsigned long& error) {
  return GuardedSend(message, true, error);
}

int CMailDevice::MailFunc_SendMailMessageEx(CSMTPMessage& message, unsigned long& error) {
  return GuardedSend(message, false, error);
}

int CMailDevice::GuardedSend(CSMTPMessage& message, bool withRecipientList, unsigned long& error) {
  bool thrown = true;
  const int result = Guarded([&] {
    const int sent = SendMessage(message, withRecipientList, error);
    thrown = false;
    return sent;
  }, error);
  // Where the transaction stands is not known: only a dropped connection makes the server forget it.
  if (thrown && m_bConnected) AbortConnection();
  return result;
}

bool CMailDevice::CheckEnvelope(const CSMTPMessage& message, bool withRecipientList, unsigned long& error) {
  if (!CheckCommandValue(message.m_From.m_sAddress,
                         "Refused to send the MAIL command: the sender's address holds CR, LF or NUL (" +
                             postwell::forDisplay(message.m_From.m_sAddress) + ")",
                         error))
    return false;
  for (const CSMTPAddress* single : {&message.m_Recipient1, &message.m_Recipient2, &message.m_Recipient3})
    if (!CheckCommandValue(single->m_sAddress, RcptRefusal(single->m_sAddress), error)) return false;
  if (withRecipientList)
    for (const std::string& entry : message.m_arrRecipient)
      if (!CheckCommandValue(entry, RcptRefusal(entry), error)) return false;
  return true;
}

int CMailDevice::SendMessage(CSMTPMessage& message, bool withRecipientList, unsigned long& error) {
  // Every address is checked before MAIL: a refusal halfway would leave a transaction open.
  if (!CheckEnvelope(message, withRecipientList, error)) return 0;
  // Opened before the mail transaction starts: once DATA is accepted, the server takes whatever
  // follows as the message.
  File file = openContent(message.m_sContentFile);
  if (!file) {
    Fail(error, kContentFileUnreadable, formatted("Open mailbody file error %s", message.m_sContentFile.c_str()));
    return 0;
  }

  if (!TransactionStep("MAIL FROM: <" + message.m_From.m_sAddress + ">\r\n",
                       "Failed in call to send MAIL command, GetLastError returns: %d", 250, kMailRejected,
                       "An unexpected MAIL response was received %s", error))
    return 0;

  for (CSMTPAddress* single : {&message.m_Recipient1, &message.m_Recipient2, &message.m_Recipient3})
    if (!single->m_sAddress.empty() && !SendRcpt(*single, error)) return 0;
  if (withRecipientList) {
    for (const std::string& entry : message.m_arrRecipient) {
      CSMTPAddress recipient(entry);
      if (!SendRcpt(recipient, error)) return 0;
    }
  }

  if (!TransactionStep("DATA\r\n", "Failed in call to send DATA command, GetLastError returns: %d", 354,
                       kDataRejected, "An unexpected DATA response was received %s", error))
    return 0;
  return SendContent(file.get(), message, error);
}

int CMailDevice::SendContent(std::FILE* file, CSMTPMessage& message, unsigned long& error) {
  const std::uint64_t size = contentSize(message.m_sContentFile, file);
  StatusAndLog(formatted("%s %s ...", "发送数据到", message.m_Recipient1.m_sAddress.c_str()));

  CMailDevice_SendMailInfo* progress = message.m_pProgress;
  if (progress != nullptr) {
    progress->m_nState = CMailDevice_SendMailInfo::kTransferring;
    progress->m_nPercent = 0;
    NotifyProgress(progress);
  }

  std::vector<char> piece(kPieceSize);
  std::string stuffed;
  stuffed.reserve(2 * kPieceSize + 2);
  DotLineStuffing stuffing;
  std::uint64_t sent = 0;
  // Content that ends with CR LF needs only the dot line after it; so does empty content, which
  // follows the line of DATA.
  bool atLineStart = true;
  char lastByte = '\0';
  auto sendStuffed = [&] {
    if (stuffed.empty()) return true;
    if (platform::sendAll(m_hSocket, stuffed.data(), stuffed.size()) < 0) return false;
    const char beforeLast = stuffed.size() >= 2 ? stuffed[stuffed.size() - 2] : lastByte;
    lastByte = stuffed.back();
    atLineStart = beforeLast == '\r' && lastByte == '\n';
    stuffed.clear();
    return true;
  };
  for (;;) {
    const std::size_t count = std::fread(piece.data(), 1, piece.size(), file);
    if (std::ferror(file)) {
      const unsigned long fileError = platform::fileErrorFromErrno(errno);
      Fail(error, fileError, formatted("Failed to read send message file , GetLastError returns: %d",
                                       static_cast<int>(fileError)));
      // Whatever is sent now would become part of the message; only a dropped connection makes
      // the server discard it.
      AbortConnection();
      platform::setLastError(fileError);
      return 0;
    }
    if (count == 0) stuffing.finish(stuffed);
    else stuffing.add(piece.data(), count, stuffed);
    if (!sendStuffed()) {
      FailWithSocketError(error, "Failed in send mailbody to server, GetLastError returns: %d");
      return 0;
    }
    if (count == 0) break;
    sent += count;
    if (progress != nullptr) progress->m_nPercent = static_cast<std::int32_t>(size ? sent * 100 / size : 100);
    NotifyProgress(progress);
  }

  StatusAndLog("发送结束标志 ...");
  if (!SendLine(atLineStart ? ".\r\n" : "\r\n.\r\n")) {
    FailWithSocketError(error, "Failed in call to send end of message indicator, GetLastError returns: %d");
    return 0;
  }
  if (!ReadCommandResponse(250, -1)) {
    RejectInTransaction(error, kEndOfDataRejected, "An unexpected end of message response was received %s");
    return 0;
  }
  AnnounceReply();
  return 1;
}
