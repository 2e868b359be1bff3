#pragma once
// The writer lock of one file, for writers that load a file, change it and replace it whole.
//
// The lock belongs to the file's folder: threads of this process wait on a mutex kept per folder
// (its path resolved, so "a/../x.ini" and "x.ini" share it), processes wait on an exclusive flock
// of the folder itself. The data file cannot carry the lock, because every save renames a new file
// over it, and a lock file beside it would be left behind by a writer that dies. Writers of other
// files of the same folder wait too; a write takes milliseconds.

#include <cstdint>
#include <string>

namespace platform::detail {

struct LockEntry;

// The cross-process half of the lock, one per system: takes the lock of the folder for the
// process, waiting for other processes. False with the last error set when it cannot be taken.
bool lockDirectory(const std::string& directory, std::intptr_t& lock);
void unlockDirectory(std::intptr_t lock);

class FileWriteLock {
 public:
  // Waits for the lock. A thread that already holds the lock of the folder does not wait for
  // itself: the lock is then not held and the last error says why.
  explicit FileWriteLock(const std::string& path);
  ~FileWriteLock();
  FileWriteLock(const FileWriteLock&) = delete;
  FileWriteLock& operator=(const FileWriteLock&) = delete;

  // False, with the last error set, when the lock could not be taken.
  bool held() const { return held_; }

 private:
  std::string key_;
  LockEntry* entry_ = nullptr;
  std::intptr_t lock_ = -1;
  bool held_ = false;
};

}  // namespace platform::detail
