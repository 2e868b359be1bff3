// The POP3 session reading what a server sends: STAT, LIST and UIDL replies and their parsing, a
// message reply (RETR and TOP) and line replies, all through the session's own reader on a socket.
// The first byte sets the message size limit; the rest is the server's side of the conversation,
// after which the server closes.
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "postwell/pop3_connection.h"

namespace {

class Session : public CPop3Connection {
 public:
  void SetDeviceStatus(const char*) override {}
  void Attach(int socket) {
    m_hSocket = socket;
    m_bConnected = 1;
    SetTimeout(50);
  }
  using CPop3Connection::List;
  using CPop3Connection::m_arrMessageID;
  using CPop3Connection::m_arrMessageSize;
};

// More than a socket buffer takes would block the writer: nothing reads until the session runs.
constexpr std::size_t kLargestInput = 64 * 1024;

void checkMessage(const CPop3Message& message, unsigned long limit) {
  if (message.GetMessageText() == nullptr) return;
  FUZZ_CHECK(std::strlen(message.GetMessageText()) <= limit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > kLargestInput) return 0;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return 0;
  const int server = pair[1];
  if (size > 1 && ::send(server, data + 1, size - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(size - 1)) {
    ::close(pair[0]);
    ::close(server);
    return 0;
  }
  ::shutdown(server, SHUT_WR);

  {
    Session session;
    const unsigned long limit = 64ul * data[0];
    session.SetMessageSizeLimit(limit);
    session.Attach(pair[0]);
    unsigned long error = 0;
    int count = 0, bytes = 0;
    session.Statistics(count, bytes, error);
    session.List();
    session.UIDL();
    FUZZ_CHECK(session.m_arrMessageSize.size() <= 1000000 && session.m_arrMessageID.size() <= 1000000);
    std::string id;
    session.GetMessageID(1, id);
    FUZZ_CHECK(id.find('\n') == std::string::npos);
    CPop3Message message, head;
    session.Retrieve(1, message, error);
    checkMessage(message, limit);
    session.GetMessageHeader(1, head, error);
    checkMessage(head, limit);
    session.Noop();
    FUZZ_CHECK(session.GetLastCommandResponse().find('\0') == std::string::npos);
    session.Disconnect();
  }
  ::close(server);
  return 0;
}
