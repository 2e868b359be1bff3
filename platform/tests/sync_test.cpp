#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/sync.h"

namespace {

TEST(Sync, AutoResetEventReleasesOneWaitAndResets) {
  platform::AutoResetEvent e;
  EXPECT_FALSE(e.wait(10));
  e.set();
  EXPECT_TRUE(e.wait(0));
  EXPECT_FALSE(e.wait(10));  // reset by the wait that took it

  std::atomic<int> woken{0};
  std::thread t([&] {
    e.wait();
    ++woken;
  });
  e.set();
  t.join();
  EXPECT_EQ(woken, 1);
}

TEST(Sync, LockIsRecursive) {
  platform::Lock l;
  std::lock_guard<platform::Lock> a(l);
  std::lock_guard<platform::Lock> b(l);
  SUCCEED();
}

TEST(Sync, TickCountAdvancesWithSleep) {
  std::uint32_t start = platform::tickCount();
  platform::sleepMs(20);
  EXPECT_GE(static_cast<std::uint32_t>(platform::tickCount() - start), 20u);
}

}  // namespace
