#pragma once
// The bounds of what the POP3 session reads from a server.

#include <cstddef>

namespace postwell::pop3 {

// A status or other one-line reply.
inline constexpr std::size_t kLongestLineReply = 1024 * 1024;
// The status line in front of a message.
inline constexpr std::size_t kLongestStatusLine = 64 * 1024;
// A LIST or UIDL reply, and the entries either may have.
inline constexpr std::size_t kLongestListReply = 32 * 1024 * 1024;
inline constexpr std::size_t kMostListEntries = 1000000;
inline constexpr unsigned long kDefaultMessageSizeLimit = 64UL * 1024 * 1024;
inline constexpr unsigned long kLargestMessageSizeLimit = 1024UL * 1024 * 1024;

}  // namespace postwell::pop3
