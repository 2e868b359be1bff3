// Address splitting and the bare, envelope and host forms, with output buffers of exactly the size
// their callers are promised to need.
#include <algorithm>

#include "fuzz_support.h"
#include "groundkit/groundkit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Buffer address(data, size);
  std::size_t length = address.length();

  std::size_t partSize = std::min<std::size_t>(length, 1023) + 1;
  fuzz::Buffer name(partSize), user(partSize), domain(partSize);
  BSCFEM_SplitEmailAddress(address.data(), name.data(), user.data(), domain.data());
  FUZZ_CHECK(name.length() < partSize && user.length() < partSize && domain.length() < partSize);
  int legal = BSCF_IsLegalEmailAddress(address.data());
  FUZZ_CHECK(legal == (user.length() > 0 && domain.length() > 0 ? 1 : 0));

  fuzz::Buffer simple(length + 3), envelope(length + 3), host(length + 3);
  BSCFEM_2SimpleEmailAddress(address.data(), simple.data());
  BSCFEM_2EnvlopeAddress(address.data(), envelope.data());
  BSCFEM_GetHostName(address.data(), host.data());
  FUZZ_CHECK(envelope.text() == "<" + simple.text() + ">");
  FUZZ_CHECK(host.length() <= length);

  if (BSCF_IsLegalDomainName(address.data()) == 1) {
    std::string text = address.text();
    FUZZ_CHECK(text.find("..") == std::string::npos);
  }
  return 0;
}
