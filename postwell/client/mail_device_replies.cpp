// Reading the SMTP server's replies: one whole reply, all its lines, within the idle timeout.
#include <algorithm>
#include <string_view>

#include "platform/last_error.h"
#include "client/reply_reader.h"
#include "postwell/mail_device.h"

namespace {

constexpr int kReplyBuffer = 512;
constexpr int kReplyGrowth = 4096;
// A reply is a few lines; a server that goes on sending beyond this is not answering.
constexpr std::size_t kLongestReply = 1024 * 1024;
const char kLineEnd[] = "\r\n";

// A continuation line has at least four characters, the fourth a "-" ("250-PIPELINING").
bool isContinuationLine(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return false;
  line.remove_prefix(first);
  return line.size() >= 4 && line[3] == '-';
}

// True when the bytes end with the terminator at the end of a reply's last line.
bool isWholeReply(std::string_view received, std::string_view terminator) {
  if (received.size() < terminator.size() || received.substr(received.size() - terminator.size()) != terminator)
    return false;
  received.remove_suffix(terminator.size());
  const std::size_t previous = received.rfind(terminator);
  const std::string_view lastLine =
      previous == std::string_view::npos ? received : received.substr(previous + terminator.size());
  return !isContinuationLine(lastLine);
}

bool readCode(const std::string& reply, int& code) {
  if (reply.size() < 3 || !std::all_of(reply.begin(), reply.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  code = (reply[0] - '0') * 100 + (reply[1] - '0') * 10 + (reply[2] - '0');
  return true;
}

}  // namespace

int CMailDevice::ReadResponse(char* buffer, int capacity, const char* terminator, char** grown,
                              int expectedCode, int alternativeCode, int growBy) {
  m_bReplyComplete = false;
  const std::string_view end(terminator);
  postwell::ReplyBuffer reply{buffer, static_cast<std::size_t>(std::max(capacity, 0)), grown,
                              static_cast<std::size_t>(growBy > 0 ? growBy : kReplyGrowth), true,
                              kLongestReply};
  if (postwell::receiveReply(m_hSocket, m_dwTimeout, reply, [&](std::string_view received, std::size_t) {
        return isWholeReply(received, end);
      }) != postwell::ReplyRead::Complete) {
    m_sLastCommandResponse.assign(reply.data, reply.received);
    return 0;
  }

  m_sLastCommandResponse.assign(reply.data, reply.received - end.size());
  m_bReplyComplete = true;
  int code = 0;
  // A reply without a code keeps the previous code, and is never the one expected.
  if (readCode(m_sLastCommandResponse, code)) {
    m_nLastCommandResponseCode = code;
    if (code == expectedCode || (alternativeCode != -1 && code == alternativeCode)) return 1;
  }
  platform::setLastError(platform::err::kWsaProtocolNotSupported);
  return 0;
}

int CMailDevice::ReadCommandResponse(int expectedCode, int alternativeCode) {
  char buffer[kReplyBuffer];
  postwell::GrownBuffer grown;
  return ReadResponse(buffer, sizeof buffer, kLineEnd, &grown.data, expectedCode, alternativeCode, kReplyGrowth);
}
