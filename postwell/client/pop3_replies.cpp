// Reading the POP3 server's replies: the reader that waits for a terminator within the idle
// timeout and the reply's deadline, and the handlers that parse STAT, LIST, UIDL and message
// replies.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <strings.h>

#include "client/pop3_limits.h"
#include "client/reply_reader.h"
#include "platform/last_error.h"
#include "postwell/pop3_connection.h"
#include "text_format/formatted.h"

using namespace postwell::pop3;

namespace {

constexpr int kCommandReplyBuffer = 1000;
constexpr int kStatReplyBuffer = 100;
constexpr std::size_t kListBytesPerMessage = 14;
constexpr std::size_t kReplySlack = 100;
constexpr int kLineReplyGrowth = 4096;
constexpr int kMessageReplyGrowth = 32000;
// The first buffer of a LIST or UIDL reply is sized from the server's message count, but no
// larger than this; a longer list grows the buffer as it arrives.
constexpr std::size_t kLargestFirstListBuffer = 64 * 1024;
// The first buffer of a message reply is sized from the message's listed size, but no larger than
// this: the listed size is the server's word.
constexpr std::size_t kLargestFirstMessageBuffer = 1024 * 1024;
// A reply buffer larger than this is released after its reply instead of kept for the next one.
constexpr std::size_t kLargestKeptBuffer = 4 * 1024 * 1024;
const char kLineEnd[] = "\r\n";
const char kDataEnd[] = "\r\n.\r\n";

bool startsWithOk(const std::string& text, bool ignoreCase) {
  if (text.size() < 3) return false;
  return ignoreCase ? ::strncasecmp(text.c_str(), "+OK", 3) == 0 : text.compare(0, 3, "+OK") == 0;
}

void assignWithoutNuls(std::string& text, const char* bytes, std::size_t length) {
  text.assign(bytes, length);
  if (std::memchr(bytes, '\0', length) != nullptr) text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
}

std::size_t listBufferSize(int count) {
  if (count <= 0) return kReplySlack;
  const std::size_t most = (kLargestFirstListBuffer - kReplySlack) / kListBytesPerMessage;
  return std::min(static_cast<std::size_t>(count), most) * kListBytesPerMessage + kReplySlack;
}

}  // namespace

int CPop3Connection::ReadResponse(char* buffer, int capacity, const char* terminator, char** grown,
                                  int growBy) {
  std::string_view end(terminator != nullptr ? terminator : kLineEnd);
  postwell::ReplyBuffer reply{buffer,
                              static_cast<std::size_t>(std::max(capacity, 0)),
                              grown,
                              static_cast<std::size_t>(growBy > 0 ? growBy : kLineReplyGrowth),
                              true,
                              m_nReplyLimit};
  std::size_t at = std::string_view::npos;
  const postwell::ReplyRead result =
      postwell::receiveReply(m_hSocket, m_dwTimeout, reply, [&](std::string_view received, std::size_t firstNew) {
        // A negative reply is one line even where a multi-line answer was asked for.
        if (firstNew == 0 && end != kLineEnd && received.front() == '-') end = kLineEnd;
        at = postwell::findTerminator(received, firstNew, end);
        return at != std::string_view::npos;
      });
  m_pGrownBuffer = grown != nullptr ? *grown : nullptr;
  m_nGrownBufferSize = reply.capacity;
  if (result != postwell::ReplyRead::Complete) {
    const unsigned long error = platform::lastError();
    if (error == platform::err::kWsaMessageSize)
      m_sLastCommandResponse = text_format::formatted("The reply of the POP3 server is longer than %zu bytes", m_nReplyLimit);
    else if (error == platform::err::kNotEnoughMemory)
      m_sLastCommandResponse = "Not enough memory for the reply of the POP3 server";
    else
      assignWithoutNuls(m_sLastCommandResponse, reply.data, reply.received);
    platform::setLastError(error);
    return 0;
  }
  // Room for the line end that a message text gets back.
  m_sLastCommandResponse.reserve(at + 2);
  assignWithoutNuls(m_sLastCommandResponse, reply.data, at);
  if (startsWithOk(m_sLastCommandResponse, true)) return 1;
  platform::setLastError(platform::err::kWsaProtocolNotSupported);
  return 0;
}

int CPop3Connection::ReadIntoSessionBuffer(const char* terminator, std::size_t firstCapacity, std::size_t limit) {
  firstCapacity = std::min(firstCapacity, limit + 1);
  if (m_nReplyBufferSize < firstCapacity) {
    m_pReplyBuffer.reset();
    m_nReplyBufferSize = 0;
    m_pReplyBuffer.reset(new (std::nothrow) char[firstCapacity]);
    if (!m_pReplyBuffer) return FailWithCode("Not enough memory for the reply of the POP3 server", platform::err::kNotEnoughMemory);
    m_nReplyBufferSize = firstCapacity;
  }
  postwell::GrownBuffer grown;
  const std::size_t previousLimit = m_nReplyLimit;
  m_nReplyLimit = limit;
  m_pGrownBuffer = nullptr;
  // A kept buffer larger than the limit is used only up to it.
  const std::size_t capacity = std::min(m_nReplyBufferSize, limit + 1);
  const int result = ReadResponse(m_pReplyBuffer.get(), static_cast<int>(capacity),
                                  terminator, &grown.data,
                                  std::strcmp(terminator, kDataEnd) == 0 ? kMessageReplyGrowth : kLineReplyGrowth);
  m_nReplyLimit = previousLimit;
  // The grown buffer becomes the session's when the reader says how large it is.
  if (grown.data != nullptr && grown.data == m_pGrownBuffer) {
    m_pReplyBuffer.reset(grown.data);
    m_nReplyBufferSize = m_nGrownBufferSize;
    grown.data = nullptr;
  }
  m_pGrownBuffer = nullptr;
  if (m_nReplyBufferSize > kLargestKeptBuffer) {
    m_pReplyBuffer.reset();
    m_nReplyBufferSize = 0;
  }
  return result;
}

int CPop3Connection::ReadCommandResponse() {
  char buffer[kCommandReplyBuffer];
  postwell::GrownBuffer grown;
  return ReadResponse(buffer, sizeof buffer, kLineEnd, &grown.data, kLineReplyGrowth);
}

int CPop3Connection::ReadStatResponse(int& count, int& size) {
  char buffer[kStatReplyBuffer];
  postwell::GrownBuffer grown;
  if (!ReadResponse(buffer, sizeof buffer, kLineEnd, &grown.data, kLineReplyGrowth)) return 0;
  if (!startsWithOk(m_sLastCommandResponse, false)) return 0;

  // "+OK count size": each number follows a blank.
  const char* text = m_sLastCommandResponse.c_str();
  const char* blank = std::strpbrk(text, " \t");
  if (blank == nullptr) return 0;
  count = std::atoi(blank);
  m_nMessageCount = count;
  blank = std::strpbrk(blank + 1, " \t");
  if (blank == nullptr) return 0;
  size = std::atoi(blank);
  return 1;
}

int CPop3Connection::ReadListResponse(int count) {
  if (!ReadIntoSessionBuffer(kDataEnd, listBufferSize(count), kLongestListReply)) return 0;

  // The k-th number after a blank is the size of message k; the message numbers are not read.
  m_arrMessageSize.clear();
  for (const char* p = GetFirstCharInResponse(m_sLastCommandResponse.data()); *p != '\0' && *p != '.'; ++p) {
    if (*p != ' ' && *p != '\t') continue;
    if (m_arrMessageSize.size() == kMostListEntries) {
      m_arrMessageSize.clear();
      return FailWithCode(text_format::formatted("The LIST reply of the POP3 server has more than %zu entries",
                                              kMostListEntries),
                          platform::err::kWsaMessageSize);
    }
    m_arrMessageSize.push_back(static_cast<std::uint32_t>(std::atoi(p)));
  }
  return 1;
}

int CPop3Connection::ReadUIDLResponse(int count) {
  if (!ReadIntoSessionBuffer(kDataEnd, listBufferSize(count), kLongestListReply)) return 0;

  m_arrMessageID.clear();
  std::string_view rest(GetFirstCharInResponse(m_sLastCommandResponse.data()));
  while (!rest.empty()) {
    const std::size_t lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (m_arrMessageID.size() == kMostListEntries) {
      m_arrMessageID.clear();
      return FailWithCode(text_format::formatted("The UIDL reply of the POP3 server has more than %zu entries",
                                              kMostListEntries),
                          platform::err::kWsaMessageSize);
    }
    m_arrMessageID.emplace_back(line);
  }
  return 1;
}

// The reply is read through the end-of-data line "\r\n.\r\n"; the CR LF before the "." belongs to
// the message, so the stored text ends with the message's last line break.
int CPop3Connection::ReadReturnResponse(CPop3Message& pop3Message, unsigned long size) {
  const std::size_t limit = static_cast<std::size_t>(m_nMessageSizeLimit) + kLongestStatusLine;
  const std::size_t first = std::min<std::size_t>(std::size_t{size} + kReplySlack, kLargestFirstMessageBuffer);
  if (!ReadIntoSessionBuffer(kDataEnd, first, limit)) return 0;

  const std::size_t lf = m_sLastCommandResponse.find('\n');
  if (lf == std::string::npos) {
    if (!pop3Message.SetMessageText("", 0)) return FailWithCode("Not enough memory for the message", platform::err::kNotEnoughMemory);
    return 1;
  }
  const std::size_t length = m_sLastCommandResponse.size() - (lf + 1) + 2;
  if (length > m_nMessageSizeLimit)
    return FailWithCode(text_format::formatted("The message is longer than the limit of %lu bytes", m_nMessageSizeLimit),
                        platform::err::kWsaMessageSize);
  m_sLastCommandResponse += kLineEnd;
  const bool stored = pop3Message.SetMessageText(m_sLastCommandResponse.data() + lf + 1, length);
  m_sLastCommandResponse.resize(m_sLastCommandResponse.size() - 2);
  if (!stored) return FailWithCode("Not enough memory for the message", platform::err::kNotEnoughMemory);
  return 1;
}
