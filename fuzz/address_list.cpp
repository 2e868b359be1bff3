// Address lists cut in place, dotted IP addresses and fax numbers.
#include <vector>

#include "fuzz_support.h"
#include "groundkit/groundkit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Buffer list(data, size);
  std::vector<std::string> array;
  BSCFEM_SplitEmailToArray(list.data(), array);
  for (const std::string& address : array) {
    FUZZ_CHECK(BSCF_IsLegalEmailAddress(address.c_str()) == 1);
    FUZZ_CHECK(address.find(';') == std::string::npos);
  }

  fuzz::Buffer dotted(data, size);
  unsigned char bytes[4];
  BSCFEM_SplitIPAddress(dotted.data(), bytes[0], bytes[1], bytes[2], bytes[3]);

  fuzz::Buffer number(data, size);
  BSCF_IsLegalFaxNo(number.data());
  fuzz::Buffer first(number.size()), second(number.size());
  BSCF_SplitFaxNo(number.data(), first.data(), second.data());
  FUZZ_CHECK(first.length() + second.length() <= number.length());
  return 0;
}
