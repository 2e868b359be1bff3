#include "mail_address.h"

#include <cctype>

namespace signgate {

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The text without comments, quotes and blanks outside quoted strings kept as they are; a
// backslash quotes the next character.
std::string withoutCommentsAndBlanks(std::string_view text) {
  std::string out;
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      if (depth == 0) out += text[++i];
      else ++i;
      continue;
    }
    if (quoted) {
      if (c == '"') quoted = false;
      else out += c;
      continue;
    }
    if (c == '(') ++depth;
    else if (c == ')' && depth > 0) --depth;
    else if (depth > 0) continue;
    else if (c == '"') quoted = true;
    else if (!isBlank(c)) out += c;
  }
  return out;
}

// Calls visit(position, character) for each character outside quoted strings, comments and
// quoted pairs ("\\x"): the characters that structure an address.
template <typename Visit>
void forEachStructuralCharacter(std::string_view text, Visit visit) {
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      ++i;
    } else if (quoted) {
      quoted = c != '"';
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && depth > 0) {
      --depth;
    } else if (depth == 0 && c == '"') {
      quoted = true;
    } else if (depth == 0) {
      visit(i, c);
    }
  }
}

// The part between the last "<" and its ">" outside quotes and comments; the whole text when there
// is none.
std::string_view angleAddress(std::string_view mailbox) {
  std::size_t open = std::string_view::npos, close = std::string_view::npos;
  forEachStructuralCharacter(mailbox, [&](std::size_t i, char c) {
    if (c == '<') {
      open = i;
      close = std::string_view::npos;
    } else if (c == '>' && open != std::string_view::npos) {
      close = i;
    }
  });
  if (open == std::string_view::npos) return mailbox;
  if (close == std::string_view::npos) return mailbox.substr(open + 1);
  return mailbox.substr(open + 1, close - open - 1);
}

// The mailboxes of a list: split at commas outside quotes, comments and angle brackets; a group's
// name ("team:") and its closing ";" are dropped.
std::vector<std::string_view> mailboxes(std::string_view value) {
  std::vector<std::string_view> parts;
  bool angle = false;
  std::size_t start = 0;
  auto add = [&](std::size_t end) {
    if (end > start) parts.push_back(value.substr(start, end - start));
    start = end + 1;
  };
  forEachStructuralCharacter(value, [&](std::size_t i, char c) {
    if (c == '<') {
      angle = true;
    } else if (c == '>') {
      angle = false;
    } else if (!angle && (c == ',' || c == ';')) {
      add(i);
    } else if (!angle && c == ':') {
      start = i + 1;  // "group-name:" opens a group
    }
  });
  add(value.size());
  return parts;
}

}  // namespace

std::string canonicalAddress(std::string_view text) {
  std::string address = withoutCommentsAndBlanks(angleAddress(text));
  // A source route "@relay:ann@x" names ann@x.
  if (!address.empty() && address.front() == '@') {
    const std::size_t colon = address.find(':');
    address = colon == std::string::npos ? "" : address.substr(colon + 1);
  }
  for (char& c : address) c = lower(c);
  return address;
}

std::vector<std::string> headerAddresses(std::string_view value) {
  std::vector<std::string> addresses;
  for (std::string_view mailbox : mailboxes(value)) {
    std::string address = canonicalAddress(mailbox);
    if (!address.empty()) addresses.push_back(std::move(address));
  }
  return addresses;
}

}  // namespace signgate
