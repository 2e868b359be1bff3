#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "file_lock.h"
#include "last_error_guard.h"
#include "platform/last_error.h"

namespace platform::detail {

namespace {

// A named mutex per folder: the system releases it when a holder dies, so nothing is left behind.
// Folder names are compared as Windows compares them, without regard to case.
std::string mutexName(const std::string& directory) {
  std::uint64_t hash = 1469598103934665603ULL;
  for (char c : directory) {
    const char folded =
        c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    hash = (hash ^ static_cast<unsigned char>(folded)) * 1099511628211ULL;
  }
  char name[64];
  std::snprintf(name, sizeof name, "Local\\MailSignoffFolderLock-%016llx",
                static_cast<unsigned long long>(hash));
  return name;
}

}  // namespace

bool lockDirectory(const std::string& directory, std::intptr_t& lock) {
  const LastErrorGuard guard;
  const DWORD attributes = ::GetFileAttributesA(directory.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    setLastError(err::kPathNotFound);
    return false;
  }
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, mutexName(directory).c_str());
  if (mutex == nullptr) return false;
  // An abandoned mutex is owned now too: its last holder died, and every write replaces its file
  // whole, so there is nothing half done to clear up.
  const DWORD waited = ::WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    const DWORD error = waited == WAIT_FAILED ? ::GetLastError() : ERROR_LOCK_VIOLATION;
    ::CloseHandle(mutex);
    setLastError(error);
    return false;
  }
  lock = reinterpret_cast<std::intptr_t>(mutex);
  return guard.succeeded(true);
}

void unlockDirectory(std::intptr_t lock) {
  const LastErrorGuard guard;
  HANDLE mutex = reinterpret_cast<HANDLE>(lock);
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
  guard.succeeded(0);
}

}  // namespace platform::detail
