// The header map, header lookups and Content-Type splitting on any header text:
// names and values never hold a line break, outputs stay within their buffers.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_support.h"
#include "groundkit/groundkit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("fuzz_mail_header." + std::to_string(::getpid()) + ".eml");
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  MailHeaderMap header;
  unsigned long error = 0;
  FUZZ_CHECK(BSCFEM_D_GetMailHeaderSec(path.c_str(), header, error) == 1);
  for (const auto& [name, value] : header) {
    FUZZ_CHECK(name.find('\n') == std::string::npos && value.find('\n') == std::string::npos);
    int mainType = 0, subType = 0;
    fuzz::Buffer parameters(1024);
    BSCFEM_D_SpliteContentTypeLine(value.c_str(), mainType, subType, parameters.data());
    FUZZ_CHECK(mainType >= -1 && mainType <= 5 && subType >= -1 && subType <= 13);
  }

  fuzz::Buffer text(data, size);
  fuzz::Buffer value(1024);
  BSCFEM_GetMailParamFromHead(text.data(), "Content-Type", value.data());
  FUZZ_CHECK(value.length() < value.size());
  FUZZ_CHECK(std::string(value.data()).find_first_of("\r\n") == std::string::npos);
  return 0;
}
