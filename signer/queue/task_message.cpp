#include "queue/task_message.h"

#include <strings.h>

#include <vector>

#include "groundkit/groundkit.h"
#include "store/header_text.h"
#include "store/ui_text.h"

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kHeaderEnd[] = "\r\n\r\n";

const char* const kTraceFields[] = {"Received", "X-mailer", "X-MDRemoteIP", "X-MDaemon-Deliver-To"};
// The fields of the marker lines: a copy the message arrived with would stand beside ours. The
// held copy's recipient fields go too: no recipient may see the others' envelope.
const char* const kMarkerFields[] = {"X-Sign", "X-Sign-Stat", "X-Sign-Message", "X-Sign-Rcpt"};

// The field name of the header line starting at start; empty for a continuation line and for a
// line without a colon.
std::string FieldName(const std::string& text, std::size_t start, std::size_t lineEnd) {
  if (start < text.size() && (text[start] == ' ' || text[start] == '\t' || text[start] == '\r'))
    return "";
  const std::size_t colon = text.find(':', start);
  if (colon == std::string::npos || colon >= lineEnd) return "";
  return text.substr(start, colon - start);
}

bool SameName(const std::string& name, const char* other) {
  return ::strcasecmp(name.c_str(), other) == 0;
}

bool IsTraceField(const std::string& name) {
  for (const char* field : kTraceFields)
    if (SameName(name, field)) return true;
  return false;
}

bool IsMarkerField(const std::string& name) {
  for (const char* field : kMarkerFields)
    if (SameName(name, field)) return true;
  return false;
}

// The position after the line starting at start, its line break included.
std::size_t NextLine(const std::string& text, std::size_t start) {
  const std::size_t end = text.find(kLineEnd, start);
  return end == std::string::npos ? text.size() : end + 2;
}

// The text for a header line or an address: each CR LF pair, CR, LF and NUL made a blank.
std::string OneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    line += text[i] == '\r' || text[i] == '\n' || text[i] == '\0' ? ' ' : text[i];
  }
  return line;
}

// Removes the header fields whose names the test accepts, with their continuation lines, from the
// header lines that end at linesEnd. Returns where they end now.
template <typename Test>
std::size_t RemoveFields(std::string& text, std::size_t linesEnd, Test isRemoved) {
  bool removing = false;
  for (std::size_t line = 0; line < linesEnd;) {
    const std::size_t next = NextLine(text, line);
    const std::string name = FieldName(text, line, next);
    if (!name.empty()) removing = isRemoved(name);
    if (removing) {
      text.erase(line, next - line);
      linesEnd -= next - line;
    } else {
      line = next;
    }
  }
  return linesEnd;
}

}  // namespace

std::size_t FindHeaderEnd(const std::string& text) {
  const std::size_t end = text.find(kHeaderEnd);
  return end == 0 ? text.find(kHeaderEnd, 4) : end;
}

std::size_t StripTraceFields(std::string& text, std::size_t headerEnd) {
  return RemoveFields(text, headerEnd + 2, IsTraceField);
}

std::string MarkerLines(TaskAction action, const std::string& user, const std::string& reason) {
  std::string lines = "X-Sign: vandry!\r\n";
  lines += (action == kTaskApprove ? "X-Sign-Stat: Approve By " : "X-Sign-Stat: Back By ") +
           OneLine(user) + kLineEnd;
  // A reason typed in another code page is made UTF-8, which its encoded words name.
  if (!reason.empty()) lines += EncodeHeaderField("X-Sign-Message", Bytes(UiText(OneLine(reason))));
  return lines;
}

void PrefixSubject(std::string& text) {
  const std::size_t headerEnd = FindHeaderEnd(text);
  for (std::size_t line = 0; headerEnd != std::string::npos && line < headerEnd;) {
    std::size_t next = NextLine(text, line);
    const std::string name = FieldName(text, line, next);
    if (SameName(name, "Subject")) {
      // The whole field, its continuation lines included, is written again.
      while (next < headerEnd + 2 && (text[next] == ' ' || text[next] == '\t'))
        next = NextLine(text, next);
      const std::size_t value = line + name.size() + 1;
      const std::string subject = DecodeHeaderText(text.substr(value, next - value));
      text.replace(line, next - line, EncodeHeaderField(name, kReturnPrefix + subject));
      return;
    }
    line = next;
  }
}

bool RewriteTaskMessage(std::string& text, TaskAction action, const std::string& user,
                        const std::string& reason) {
  const std::size_t headerEnd = FindHeaderEnd(text);
  if (headerEnd == std::string::npos) return false;
  const std::size_t linesEnd = RemoveFields(text, StripTraceFields(text, headerEnd), IsMarkerField);
  text.insert(linesEnd, MarkerLines(action, user, reason));
  if (action == kTaskReturn) PrefixSubject(text);
  return true;
}

void TurnBackToSender(tagTaskHead& head, const std::string& user) {
  if (head.From.empty()) return;
  const std::string sender = OneLine(user);
  head.To = head.From;
  if (sender.find('@') != std::string::npos) {
    head.From = sender;  // the login name is the address itself
  } else {
    std::vector<char> name(head.From.size() + 1024), mailbox(name.size()), domain(name.size());
    BSCFEM_SplitEmailAddress(head.From.c_str(), name.data(), mailbox.data(), domain.data());
    head.From = sender + "@" + domain.data();
  }
  head.Cc.clear();
  head.Bcc.clear();
  head.Recipients.clear();
}
