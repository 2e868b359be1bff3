// The queue's connection string from any setting: reading it never fails, and a text that holds
// the whole string and the password shows neither the password nor any password attribute.
#include <string>

#include "engine/queue_connection.h"
#include "fuzz_support.h"

namespace {

bool isSecretName(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lower == "pwd" || lower == "password";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Up to the first zero byte: the password; the rest: the connection string.
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = input.find('\0');
  const std::string password = zero == std::string::npos ? "" : input.substr(0, zero);
  const std::string connection = zero == std::string::npos ? input : input.substr(zero + 1);

  const std::string shown = maskSecrets("Cnn:" + connection + " P:" + password, password, connection);
  // The mask is made of "*": a secret that holds one may be read into the mask itself.
  auto hidden = [&shown](const std::string& secret) {
    return secret.empty() || secret.find('*') != std::string::npos ||
           shown.find(secret) == std::string::npos;
  };
  FUZZ_CHECK(hidden(password));
  for (const auto& [name, value] : connectionAttributes(connection))
    if (isSecretName(name)) FUZZ_CHECK(hidden(value));

  const std::string effective = effectiveConnection(connection, "/etc/queue.ini", 30);
  FUZZ_CHECK(effective.compare(0, connection.size(), connection) == 0 || connection.empty());
  return 0;
}
