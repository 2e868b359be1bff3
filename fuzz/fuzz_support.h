#pragma once
// Helpers shared by the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Stops the run with the failed condition; libFuzzer then keeps the input as a finding.
#define FUZZ_CHECK(condition)                                                              \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

namespace fuzz {

// A zero-terminated text in a heap block of exactly its size, so that the address sanitizer sees
// any access past it.
class Buffer {
 public:
  explicit Buffer(std::size_t size) : bytes_(size, '\0') {}
  // The input up to its first zero byte, terminated.
  Buffer(const std::uint8_t* data, std::size_t size)
      : bytes_(strnlen(reinterpret_cast<const char*>(data), size) + 1, '\0') {
    std::memcpy(bytes_.data(), data, bytes_.size() - 1);
  }

  char* data() { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  std::size_t length() const { return std::strlen(bytes_.data()); }
  std::string text() const { return bytes_.data(); }

 private:
  std::vector<char> bytes_;
};

}  // namespace fuzz
