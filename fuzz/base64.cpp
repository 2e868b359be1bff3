// Base64: decoding any text in place, and encoding any bytes then decoding them back exactly.
#include "fuzz_support.h"
#include "groundkit/groundkit.h"

namespace {

void decodeAnyText(const std::uint8_t* data, std::size_t size) {
  fuzz::Buffer text(data, size);
  std::size_t length = text.length();
  BSCFEM_decode_b64(text.data());
  FUZZ_CHECK(text.length() <= length * 3 / 4);
}

void roundTrip(const std::uint8_t* data, std::size_t size) {
  fuzz::Buffer encoded(BSCFEM_Base64BufferSize(size));
  unsigned long length = 0;
  FUZZ_CHECK(BSCFEM_EncodeBase64(data, size, encoded.data(), encoded.size(), length) == 1);
  FUZZ_CHECK(length == encoded.length() && length < encoded.size());
  FUZZ_CHECK(length >= 2 && encoded.text().compare(length - 2, 2, "\r\n") == 0);

  BSCFEM_decode_b64(encoded.data());
  FUZZ_CHECK(size == 0 || std::memcmp(encoded.data(), data, size) == 0);
  FUZZ_CHECK(encoded.data()[size] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  decodeAnyText(data, size);
  roundTrip(data, size);
  return 0;
}
