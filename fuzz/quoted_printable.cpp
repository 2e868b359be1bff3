// Quoted-printable decoding in place of any text.
#include "fuzz_support.h"
#include "groundkit/groundkit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Buffer text(data, size);
  std::string original = text.text();
  BSCFEM_decode_qp(text.data());
  FUZZ_CHECK(text.length() <= original.size());
  if (original.find('=') == std::string::npos) FUZZ_CHECK(text.text() == original);
  return 0;
}
