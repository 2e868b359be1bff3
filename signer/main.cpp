// Signer: the supervisor's approval client. Settings (Signer.ini) and task files live in the
// current directory.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/signer_app.h"

#if defined(__SANITIZE_ADDRESS__)
// The desktop bus library keeps memory to the end of the process; the sanitizer build would report
// it at every exit. Nothing of ours is hidden by this. The sanitizer looks both up by name.
#define SANITIZER_HOOK extern "C" __attribute__((visibility("default"), used))
SANITIZER_HOOK const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
SANITIZER_HOOK const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Signer"));
  CSignerApp app;
  if (!app.InitInstance()) return 1;
  const int exitCode = QApplication::exec();
  if (!app.ExitInstance()) {
    // A worker still waits on a server: it ends with the process, which must not wait for it.
    std::fflush(nullptr);
    std::_Exit(exitCode);
  }
  return exitCode;
}
