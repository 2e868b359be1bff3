// Encoded header words, with the buffer sizes real callers give: 1,024 bytes for the bounded
// outputs and 256 bytes for a decoded header value.
#include "fuzz_support.h"
#include "groundkit/groundkit.h"

namespace {

void findWord(fuzz::Buffer& value) {
  fuzz::Buffer charset(1024), encoding(1024), encodedText(1024), word(1024);
  if (BSCFEM_GetEncodeString(value.data(), charset.data(), encoding.data(), encodedText.data(),
                             word.data()) == 1)
    FUZZ_CHECK(value.text().find(word.text()) != std::string::npos);
}

// The first byte picks the encoding name, the rest is the encoded text.
void decodeText(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  static const char* const kEncodings[] = {"B", "Q", "b", "q", "X", ""};
  const char* encoding = kEncodings[data[0] % 6];
  fuzz::Buffer text(data + 1, size - 1);
  fuzz::Buffer output(1024);
  BSCFEM_DecodeStringEx(text.data(), output.data(), encoding);
  FUZZ_CHECK(output.length() <= 1023);
}

void decodeValue(fuzz::Buffer& value) {
  fuzz::Buffer output(256);
  if (BSCFEM_DecodeString(value.data(), output.data()) == 1) {
    FUZZ_CHECK(output.length() <= 255);
  } else {
    for (std::size_t i = 0; i < output.size(); ++i) FUZZ_CHECK(output.data()[i] == '\0');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Buffer value(data, size);
  findWord(value);
  decodeText(data, size);
  decodeValue(value);
  return 0;
}
