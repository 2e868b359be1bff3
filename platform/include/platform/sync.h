#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/export.h"

namespace platform {

// A critical section: recursive, so the owning thread may enter again.
class Lock {
 public:
  void lock() { mutex_.lock(); }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// An auto-reset event: set() releases one waiter (or the next wait) and the event resets itself.
class PLATFORM_API AutoResetEvent {
 public:
  explicit AutoResetEvent(bool initiallySet = false);
  void set();
  void reset();
  // Returns true when the event was set within the timeout (milliseconds), false on timeout.
  bool wait(unsigned long timeoutMs);
  void wait();

 private:
  std::mutex mutex_;
  std::condition_variable cond_;
  bool signalled_;
};

}  // namespace platform
