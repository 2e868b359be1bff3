#include "test_peer.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace testsupport {

bool findPeer(const std::string& name, RunningPeer& peer, std::string& why) {
  std::string upper = name, lower = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string dirVariable = "MAILSIGNOFF_" + upper + "_DIR";
  const std::string portVariable = "MAILSIGNOFF_" + upper + "_PORT";
  const char* dir = std::getenv(dirVariable.c_str());
  const char* port = std::getenv(portVariable.c_str());
  if (dir == nullptr || port == nullptr) {
    why = dirVariable + " and " + portVariable +
          " are not set: run the test through ctest, which starts " + name;
    return false;
  }
  const std::filesystem::path root(dir);
  if (std::filesystem::exists(root / "unavailable")) {
    std::ifstream reason(root / "unavailable");
    std::ostringstream text;
    text << reason.rdbuf();
    why = name + " is not running: " + text.str();
    return false;
  }
  if (!std::filesystem::exists(root / "ready")) {
    why = name + " is not running; see " + (root / (lower + ".log")).string();
    return false;
  }
  peer.dir = root;
  peer.port = std::atoi(port);
  return true;
}

}  // namespace testsupport
