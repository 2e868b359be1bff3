// INI text parsed and written back byte for byte, and every listed section and key found again.
#include <string_view>

#include "fuzz_support.h"
#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  platform::ProfileFile profile;
  profile.parse(text);
  FUZZ_CHECK(profile.serialize() == text);

  for (const std::string& section : profile.sectionNames()) {
    for (const std::string& key : profile.keyNames(section))
      FUZZ_CHECK(profile.value(section, key).has_value());
    profile.value(section, "");
  }
  profile.value("", "");
  return 0;
}
