#pragma once

#include <cstdio>
#include <mutex>
#include <string_view>

namespace mailsandbox {

// Lines for the person who runs the stand-in: "HH:MM:SS text", one write and flush each, so that
// lines of concurrent sessions never mix. Control characters a client sent are shown as "?".
class EventLog {
 public:
  explicit EventLog(std::FILE* out) : out_(out) {}
  void write(std::string_view text);

 private:
  std::FILE* out_;
  std::mutex mutex_;
};

}  // namespace mailsandbox
