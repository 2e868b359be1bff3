// Reading the POP3 server's replies: the reader that waits for a terminator within the idle
// timeout, and the handlers that parse STAT, LIST, UIDL and message replies.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <strings.h>

#include "platform/last_error.h"
#include "client/reply_reader.h"
#include "postwell/pop3_connection.h"

namespace {

constexpr int kCommandReplyBuffer = 1000;
constexpr int kStatReplyBuffer = 100;
constexpr int kListBytesPerMessage = 14;
constexpr int kReplySlack = 100;
constexpr int kLineReplyGrowth = 4096;
constexpr int kMessageReplyGrowth = 32000;
// A first buffer sized from what the server announced, but never larger than this; a message
// that is larger still arrives, in grown buffers.
constexpr unsigned long kLargestFirstBuffer = 64UL * 1024 * 1024;
const char kLineEnd[] = "\r\n";
const char kDataEnd[] = "\r\n.\r\n";

bool startsWithOk(const std::string& text, bool ignoreCase) {
  if (text.size() < 3) return false;
  return ignoreCase ? ::strncasecmp(text.c_str(), "+OK", 3) == 0 : text.compare(0, 3, "+OK") == 0;
}

std::string withoutNuls(const char* bytes, std::size_t length) {
  std::string text(bytes, length);
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

int listBufferSize(int count) {
  const long size = static_cast<long>(std::max(count, 0)) * kListBytesPerMessage + kReplySlack;
  return static_cast<int>(std::min<long>(size, kLargestFirstBuffer));
}

}  // namespace

int CPop3Connection::ReadResponse(char* buffer, int capacity, const char* terminator, char** grown,
                                  int growBy) {
  std::string_view end(terminator);
  postwell::ReplyBuffer reply{buffer, static_cast<std::size_t>(std::max(capacity, 0)), grown,
                              static_cast<std::size_t>(growBy > 0 ? growBy : kLineReplyGrowth)};
  std::size_t at = std::string_view::npos;
  const postwell::ReplyRead result =
      postwell::receiveReply(m_hSocket, m_dwTimeout, reply, [&](std::string_view received, std::size_t firstNew) {
        // A negative reply is one line even where a multi-line answer was asked for.
        if (end != kLineEnd && !received.empty() && received.front() == '-')
          end = kLineEnd;
        at = postwell::findTerminator(received, end == kLineEnd ? 0 : firstNew, end);
        return at != std::string_view::npos;
      });
  if (result != postwell::ReplyRead::Complete) {
    m_sLastCommandResponse = withoutNuls(reply.data, reply.received);
    return 0;
  }
  m_sLastCommandResponse = withoutNuls(reply.data, at);
  if (startsWithOk(m_sLastCommandResponse, true)) return 1;
  platform::setLastError(platform::err::kWsaProtocolNotSupported);
  return 0;
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
  std::unique_ptr<char[]> buffer(new char[static_cast<std::size_t>(listBufferSize(count))]);
  postwell::GrownBuffer grown;
  if (!ReadResponse(buffer.get(), listBufferSize(count), kDataEnd, &grown.data, kLineReplyGrowth))
    return 0;

  // The k-th number after a blank is the size of message k; the message numbers are not read.
  m_arrMessageSize.clear();
  m_arrMessageSize.reserve(static_cast<std::size_t>(std::max(count, 0)));
  for (const char* p = GetFirstCharInResponse(m_sLastCommandResponse.data()); *p != '\0' && *p != '.'; ++p)
    if (*p == ' ' || *p == '\t') m_arrMessageSize.push_back(static_cast<std::uint32_t>(std::atoi(p)));
  return 1;
}

int CPop3Connection::ReadUIDLResponse(int count) {
  std::unique_ptr<char[]> buffer(new char[static_cast<std::size_t>(listBufferSize(count))]);
  postwell::GrownBuffer grown;
  if (!ReadResponse(buffer.get(), listBufferSize(count), kDataEnd, &grown.data, kLineReplyGrowth))
    return 0;

  m_arrMessageID.clear();
  std::string_view rest(GetFirstCharInResponse(m_sLastCommandResponse.data()));
  while (!rest.empty()) {
    const std::size_t lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) m_arrMessageID.emplace_back(line);
  }
  return 1;
}

// The reply is read through the end-of-data line "\r\n.\r\n"; the CR LF before the "." belongs to
// the message, so the stored text ends with the message's last line break.
int CPop3Connection::ReadReturnResponse(CPop3Message& pop3Message, unsigned long size) {
  const std::size_t first = std::min(size, kLargestFirstBuffer) + kReplySlack;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[first]);
  if (!buffer) return 0;
  postwell::GrownBuffer grown;
  if (!ReadResponse(buffer.get(), static_cast<int>(first), kDataEnd, &grown.data, kMessageReplyGrowth))
    return 0;

  const std::size_t lf = m_sLastCommandResponse.find('\n');
  if (lf == std::string::npos) {
    pop3Message.SetMessageText("", 0);
  } else {
    std::string text = m_sLastCommandResponse.substr(lf + 1);
    text += kLineEnd;
    pop3Message.SetMessageText(text.data(), text.size());
  }
  return 1;
}
