#pragma once

#include <cstring>
#include <string_view>

namespace groundkit {

// The longest text an output of the library receives, not counting the terminating zero.
inline constexpr std::size_t kBoundedCopyMax = 1023;

// Copies text unchanged into out, cut at 1,023 characters, and terminates it.
inline void boundedCopy(char* out, std::string_view text) {
  if (out == nullptr) return;
  std::size_t n = text.size() < kBoundedCopyMax ? text.size() : kBoundedCopyMax;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace groundkit
