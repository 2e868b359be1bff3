#include "file_lock.h"

#include <filesystem>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/last_error.h"
#include "platform/native_path.h"

namespace platform::detail {

namespace {

constexpr unsigned long kLockViolation = 33;

// The file's directory, resolved, so that "a/../x.ini" and "x.ini" share one lock.
std::string lockKey(const std::string& path) {
  try {
    namespace fs = std::filesystem;
    const fs::path p = nativePath(path);
    const fs::path directory = p.has_parent_path() ? p.parent_path() : fs::path(".");
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(fs::absolute(directory, error), error);
    if (error) return pathText(directory);
    return pathText(resolved);
  } catch (...) {
    return path;
  }
}

// Never destroyed: a thread that is still writing when the process exits may need it.
std::mutex& registryMutex() {
  static auto* m = new std::mutex;
  return *m;
}

}  // namespace

struct LockEntry {
  std::mutex mutex;
  std::thread::id owner;  // read and written under registryMutex()
  int users = 0;          // likewise
};

namespace {

// The entries of the folders whose lock some thread holds or waits for.
std::unordered_map<std::string, LockEntry>& registry() {
  static auto* entries = new std::unordered_map<std::string, LockEntry>;
  return *entries;
}

}  // namespace

FileWriteLock::FileWriteLock(const std::string& path) {
  try {
    key_ = lockKey(path);
    {
      const std::lock_guard guard(registryMutex());
      LockEntry& entry = registry()[key_];
      if (entry.owner == std::this_thread::get_id()) {
        setLastError(kLockViolation);
        return;
      }
      ++entry.users;
      entry_ = &entry;
    }
  } catch (...) {
    setLastError(err::kNotEnoughMemory);
    return;
  }
  entry_->mutex.lock();
  {
    const std::lock_guard guard(registryMutex());
    entry_->owner = std::this_thread::get_id();
  }
  held_ = lockDirectory(key_, lock_);
}

FileWriteLock::~FileWriteLock() {
  if (entry_ == nullptr) return;
  if (held_) unlockDirectory(lock_);
  {
    const std::lock_guard guard(registryMutex());
    entry_->owner = std::thread::id();
  }
  entry_->mutex.unlock();
  const std::lock_guard guard(registryMutex());
  if (--entry_->users == 0) registry().erase(key_);
}

}  // namespace platform::detail
