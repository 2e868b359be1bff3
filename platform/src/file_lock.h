#pragma once
// The writer lock of one file, for writers that load a file, change it and replace it whole.
//
// Threads of this process wait on a mutex kept per file (keyed by the file's path with its
// directory resolved, so "a/../x.ini" and "x.ini" are one file). Processes wait on an exclusive
// flock of "<file>.lock" beside it: the data file itself cannot carry the lock, because every save
// renames a new file over it. The lock file is removed when the lock is released; one that a dead
// writer left behind is simply locked and removed by the next writer.

#include <string>

namespace platform::detail {

struct LockEntry;

class FileWriteLock {
 public:
  // Waits for the lock. A thread that already holds the lock of the file does not wait for itself:
  // the lock is then not held and the last error says why.
  explicit FileWriteLock(const std::string& path);
  ~FileWriteLock();
  FileWriteLock(const FileWriteLock&) = delete;
  FileWriteLock& operator=(const FileWriteLock&) = delete;

  // False, with the last error set, when the lock could not be taken.
  bool held() const { return held_; }

 private:
  std::string key_;
  std::string lockPath_;
  LockEntry* entry_ = nullptr;
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace platform::detail
