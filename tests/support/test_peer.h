#pragma once
// The test servers that CTest starts for the tests named after them (scripts/peers/<name>.sh) and
// hands to those tests through MAILSIGNOFF_<NAME>_DIR and MAILSIGNOFF_<NAME>_PORT.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testsupport {

struct RunningPeer {
  std::filesystem::path dir;
  int port = 0;
};

// False, with the reason in why, when the server is not running: the test did not run through
// ctest, or the server's script wrote why it could not start. `name` as people write it
// ("Postfix"); the variables use it in capitals.
bool findPeer(const std::string& name, RunningPeer& peer, std::string& why);

}  // namespace testsupport

// Skips a test whose test server is not running, or fails it under CI, where every server runs.
#define SKIP_OR_FAIL_WITHOUT_PEER(why)                 \
  do {                                                 \
    if (std::getenv("CI") != nullptr) FAIL() << (why); \
    GTEST_SKIP() << (why);                             \
  } while (false)
