#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "file_lock.h"
#include "last_error_guard.h"
#include "platform/last_error.h"
#include "wide_text.h"

namespace platform::detail {

namespace {

// A named mutex per folder: the system releases it when a holder dies, so nothing is left behind.
// Folder names are compared as Windows compares them, without regard to case (of any letter, not
// only the ASCII ones).
std::string mutexName(std::wstring directory) {
  if (!directory.empty())
    ::CharLowerBuffW(directory.data(), static_cast<DWORD>(directory.size()));
  std::uint64_t hash = 1469598103934665603ULL;
  for (wchar_t c : directory) {
    const auto unit = static_cast<std::uint16_t>(c == L'/' ? L'\\' : c);
    hash = (hash ^ (unit & 0xff)) * 1099511628211ULL;
    hash = (hash ^ (unit >> 8)) * 1099511628211ULL;
  }
  char name[64];
  std::snprintf(name, sizeof name, "Local\\MailSignoffFolderLock-%016llx",
                static_cast<unsigned long long>(hash));
  return name;
}

}  // namespace

bool lockDirectory(const std::string& directory, std::intptr_t& lock) {
  const LastErrorGuard guard;
  std::wstring wide;
  if (!toWide(directory, wide)) return false;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    setLastError(err::kPathNotFound);
    return false;
  }
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, mutexName(wide).c_str());
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
