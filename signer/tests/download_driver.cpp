// One check of the mailbox as Signer runs it, in a process of its own and on its main thread, for
// the power-cut tests: loads the task store of the current directory, then downloads every message
// of the mailbox into it. Arguments: POP3 port, user name, password. Exit code 0 once the check
// has logged in.
#include <cstdlib>

#include "mailbox/check_mailbox.h"

// The leak check cannot run under strace, which the power-cut tests run this program in.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "detect_leaks=0";
}

int main(int argc, char* argv[]) {
  if (argc != 4) return 2;
  CCheckMailBox check(nullptr);
  bool online = false;
  QObject::connect(&check, &CCheckMailBox::OnlineChanged, [&online](bool value) { online = value; });
  check.CheckAs({argv[2], argv[3], "127.0.0.1", std::atoi(argv[1]), 25});
  return online ? 0 : 1;
}
