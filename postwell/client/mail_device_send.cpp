// Sending one message: MAIL, RCPT, DATA, the content file in pieces, the end mark.
#include <cerrno>
#include <filesystem>
#include <memory>
#include <vector>

#include "client/mail_device_text.h"
#include "platform/last_error.h"
#include "platform/socket.h"
#include "postwell/mail_device.h"

using postwell::formatted;

namespace {

constexpr unsigned kProgressMessage = 1287;
constexpr unsigned long kDeviceMessageParam = 512;
constexpr std::size_t kPieceSize = 16384;

constexpr unsigned long kContentFileUnreadable = 4881;
constexpr unsigned long kMailRejected = 4898;
constexpr unsigned long kRcptRejected = 4899;
constexpr unsigned long kDataRejected = 4900;
constexpr unsigned long kEndOfDataRejected = 4901;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openContent(const std::string& path) {
  std::error_code ec;
  if (path.empty() || std::filesystem::is_directory(path, ec)) return nullptr;
  return File(std::fopen(path.c_str(), "rb"));
}

std::uint64_t contentSize(const std::string& path, std::FILE* file) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (!ec) return size;
  const long position = std::ftell(file);
  if (std::fseek(file, 0, SEEK_END) != 0) return 0;
  const long end = std::ftell(file);
  std::fseek(file, position, SEEK_SET);
  return end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

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
  const std::string line = "RCPT TO: <" + address.m_sAddress + ">\r\n";
  AnnounceCommand(line);
  if (!SendLine(line)) {
    FailWithSocketError(error, "Failed in call to send RCPT command, GetLastError returns: %d");
    return 0;
  }
  if (!ReadCommandResponse(250, -1)) {
    RejectInTransaction(error, kRcptRejected, "An unexpected RCPT response was received %s");
    return 0;
  }
  AnnounceReply();
  return 1;
}

int CMailDevice::MailFunc_SendMailMessage(CSMTPMessage& message, unsigned long& error) {
  return SendMessage(message, true, error);
}

int CMailDevice::MailFunc_SendMailMessageEx(CSMTPMessage& message, unsigned long& error) {
  return SendMessage(message, false, error);
}

int CMailDevice::SendMessage(CSMTPMessage& message, bool withRecipientList, unsigned long& error) {
  // Opened before the mail transaction starts: once DATA is accepted, the server takes whatever
  // follows as the message.
  File file = openContent(message.m_sContentFile);
  if (!file) {
    Fail(error, kContentFileUnreadable, formatted("Open mailbody file error %s", message.m_sContentFile.c_str()));
    return 0;
  }

  const std::string mailFrom = "MAIL FROM: <" + message.m_From.m_sAddress + ">\r\n";
  AnnounceCommand(mailFrom);
  if (!SendLine(mailFrom)) {
    FailWithSocketError(error, "Failed in call to send MAIL command, GetLastError returns: %d");
    return 0;
  }
  if (!ReadCommandResponse(250, -1)) {
    RejectInTransaction(error, kMailRejected, "An unexpected MAIL response was received %s");
    return 0;
  }
  AnnounceReply();

  for (CSMTPAddress* single : {&message.m_Recipient1, &message.m_Recipient2, &message.m_Recipient3})
    if (!single->m_sAddress.empty() && !SendRCPTForRecipient(*single, error)) return 0;
  if (withRecipientList) {
    for (const std::string& entry : message.m_arrRecipient) {
      CSMTPAddress recipient(entry);
      if (!SendRCPTForRecipient(recipient, error)) return 0;
    }
  }

  AnnounceCommand("DATA\r\n");
  if (!SendLine("DATA\r\n")) {
    FailWithSocketError(error, "Failed in call to send DATA command, GetLastError returns: %d");
    return 0;
  }
  if (!ReadCommandResponse(354, -1)) {
    RejectInTransaction(error, kDataRejected, "An unexpected DATA response was received %s");
    return 0;
  }
  AnnounceReply();
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
  std::uint64_t sent = 0;
  // Content that ends with a line break needs only the dot line after it.
  bool atLineStart = true;
  char lastByte = '\0';
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
    if (count == 0) break;
    if (platform::sendAll(m_hSocket, piece.data(), count) < 0) {
      FailWithSocketError(error, "Failed in send mailbody to server, GetLastError returns: %d");
      return 0;
    }
    sent += count;
    const char beforeLast = count >= 2 ? piece[count - 2] : lastByte;
    lastByte = piece[count - 1];
    atLineStart = beforeLast == '\r' && lastByte == '\n';
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
