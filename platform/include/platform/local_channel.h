#pragma once
// A message channel between processes of one machine: a server bound to a path in the file system
// answers every message it receives with a 32-bit integer. A message arrives whole, exactly as it
// was sent. Failures store a Windows-sockets error number as the thread's last error.
//
// On Windows the server is a window that answers copy-data messages; the path is a file that holds
// the window's handle as a number, and a client also takes the handle itself ("0x1a2b" or decimal)
// in place of the path, so that it reaches any monitor window whose handle it was given.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/export.h"

namespace platform {

// Sends one message to the server bound at serverPath and waits for its answer, all within
// timeoutMs. False when no server listens there (10061), the server does not answer in time
// (10060), closes without answering (10054) or answers with something other than 4 bytes (10040);
// 10022 for a path that cannot name a local endpoint.
PLATFORM_API bool localChannelCall(const std::string& serverPath, const void* message, std::size_t length,
                                   std::int32_t& answer, unsigned long timeoutMs);

// The server side: bind a path, then call serve() in a loop.
class PLATFORM_API LocalChannelServer {
 public:
  // Messages longer than this are answered with 0 and not handed on.
  static constexpr std::size_t kMaxMessage = 64 * 1024;
  // Gives the answer to one message.
  using Handler = std::function<std::int32_t(std::string_view message)>;

  LocalChannelServer() = default;
  ~LocalChannelServer();
  LocalChannelServer(const LocalChannelServer&) = delete;
  LocalChannelServer& operator=(const LocalChannelServer&) = delete;

  // Binds the path and listens. A socket left behind at the path by a server that is gone is
  // replaced; anything else there makes it fail (10048 when a server listens there).
  bool listen(const std::string& path);
  // Waits up to timeoutMs, accepts new clients and answers every message that has arrived. Returns
  // early when a signal arrives; false only when the server cannot go on.
  bool serve(unsigned long timeoutMs, const Handler& handler);
  // Closes every connection and removes the path.
  void close();

 private:
  void acceptClients();
  // False when the client has gone.
  bool answerMessages(int client, const Handler& handler);

  int listener_ = -1;
  std::string path_;
  std::vector<int> clients_;
  // The Windows backend's window, which answers the copy-data messages sent to it.
  void* window_ = nullptr;
};

}  // namespace platform
