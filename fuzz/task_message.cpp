// A task's message rewritten for the send queue, approved or returned, with any text, user name and
// reason: the header ends with the marker lines exactly once, a line break or NUL in the user name
// or the reason never starts a header line of its own, the body stays as it was, and a return's
// envelope holds no line break.
//
// Input: one byte whose lowest bit picks the action, one byte each for the lengths of the user name
// and the reason, then the user name, the reason and the message text.
#include "queue/task_message.h"

#include <strings.h>

#include <string>
#include <string_view>

#include "fuzz_support.h"

namespace {

bool HasBreak(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos;
}

// Header lines (CR LF ended) that start with the field name and a colon, in any case.
int CountFields(const std::string& header, const char* name) {
  const std::size_t length = std::char_traits<char>::length(name);
  int count = 0;
  for (std::size_t line = 0; line < header.size();) {
    const std::size_t end = header.find("\r\n", line);
    const std::size_t next = end == std::string::npos ? header.size() : end + 2;
    if (next - line > length && ::strncasecmp(header.c_str() + line, name, length) == 0 &&
        header[line + length] == ':')
      ++count;
    line = next;
  }
  return count;
}

std::string Body(const std::string& text) {
  const std::size_t end = FindHeaderEnd(text);
  return end == std::string::npos ? std::string() : text.substr(end + 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const TaskAction action = (data[0] & 1) != 0 ? kTaskReturn : kTaskApprove;
  std::string_view rest(reinterpret_cast<const char*>(data) + 3, size - 3);
  const std::string user(rest.substr(0, data[1]));
  rest.remove_prefix(user.size());
  const std::string reason(rest.substr(0, data[2]));
  rest.remove_prefix(reason.size());
  const std::string original(rest);

  std::string text = original;
  const bool rewritten = RewriteTaskMessage(text, action, user, reason);
  FUZZ_CHECK(rewritten == (FindHeaderEnd(original) != std::string::npos));
  if (!rewritten) {
    FUZZ_CHECK(text == original);
    return 0;
  }

  const std::string markers = MarkerLines(action, user, reason);
  const int lines = reason.empty() ? 2 : 3;
  FUZZ_CHECK(markers.size() >= 2 && markers.compare(markers.size() - 2, 2, "\r\n") == 0);
  // One field per marker; a long or encoded reason goes on over continuation lines.
  int fields = 0;
  for (std::size_t line = 0; line < markers.size();) {
    const std::size_t end = markers.find("\r\n", line);
    FUZZ_CHECK(end != std::string::npos && end > line);
    if (markers[line] != ' ' && markers[line] != '\t') ++fields;
    line = end + 2;
  }
  FUZZ_CHECK(fields == lines);
  std::string withoutLineEnds = markers;
  for (std::size_t at; (at = withoutLineEnds.find("\r\n")) != std::string::npos;)
    withoutLineEnds.erase(at, 2);
  FUZZ_CHECK(!HasBreak(withoutLineEnds));

  const std::size_t headerEnd = FindHeaderEnd(text);
  FUZZ_CHECK(headerEnd != std::string::npos);
  const std::string header = text.substr(0, headerEnd + 2);
  FUZZ_CHECK(header.size() >= markers.size() &&
             header.compare(header.size() - markers.size(), markers.size(), markers) == 0);
  FUZZ_CHECK(CountFields(header, "X-Sign") == 1);
  FUZZ_CHECK(CountFields(header, "X-Sign-Stat") == 1);
  FUZZ_CHECK(CountFields(header, "X-Sign-Message") == (reason.empty() ? 0 : 1));
  FUZZ_CHECK(Body(text) == Body(original));

  if (action == kTaskReturn) {
    // A summary's sender as the store gives it: one line.
    std::string from = original.substr(0, original.find_first_of(std::string_view("\r\n\0", 3)));
    tagTaskHead head{from, "to@example.test", "cc@example.test", "bcc@example.test", "", "", ""};
    TurnBackToSender(head, user);
    if (!from.empty()) {
      FUZZ_CHECK(!HasBreak(head.From) && head.To == from && head.Cc.empty() && head.Bcc.empty());
    }
  }
  return 0;
}
