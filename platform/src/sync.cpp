#include "platform/sync.h"

#include <chrono>

namespace platform {

AutoResetEvent::AutoResetEvent(bool initiallySet) : signalled_(initiallySet) {}

void AutoResetEvent::set() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    signalled_ = true;
  }
  cond_.notify_one();
}

void AutoResetEvent::reset() {
  std::lock_guard<std::mutex> guard(mutex_);
  signalled_ = false;
}

bool AutoResetEvent::wait(unsigned long timeoutMs) {
  std::unique_lock<std::mutex> guard(mutex_);
  if (!cond_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; }))
    return false;
  signalled_ = false;
  return true;
}

void AutoResetEvent::wait() {
  std::unique_lock<std::mutex> guard(mutex_);
  cond_.wait(guard, [this] { return signalled_; });
  signalled_ = false;
}

}  // namespace platform
