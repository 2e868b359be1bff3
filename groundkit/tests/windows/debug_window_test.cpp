// The debug channel on Windows: BSCF_SendMessageData reaches a monitor window through the file
// that names it and through its handle, as one copy-data block, and returns the monitor's answer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "groundkit/groundkit.h"
#include "platform/local_channel.h"
#include "platform/whole_file.h"
#include "temp_dir.h"

namespace {

TEST(DebugWindow, BlockReachesTheMonitorWindowByPathAndByHandle) {
  testsupport::TempDir dir;
  const std::string path = dir.file("monitor.hwnd");
  platform::LocalChannelServer monitor;
  ASSERT_TRUE(monitor.listen(path));
  std::mutex mutex;
  std::string last;
  std::atomic<bool> stop{false};
  std::thread serving([&] {
    while (!stop)
      monitor.serve(20, [&](std::string_view block) {
        std::lock_guard lock(mutex);
        last.assign(block);
        return static_cast<std::int32_t>(7);
      });
  });

  EXPECT_EQ(BSCF_SendMessageData(path.c_str(), "-> USER boss\r\n", 1, 2, 3), 7);
  std::string handle;
  ASSERT_TRUE(platform::readWholeFile(path, handle));
  EXPECT_EQ(BSCF_SendMessageData(handle.c_str(), "<- +OK", 4, 5, 6), 7);
  stop = true;
  serving.join();

  std::lock_guard lock(mutex);
  ASSERT_EQ(last.size(), 4096u + 3 * sizeof(std::int32_t));
  EXPECT_STREQ(last.c_str(), "<- +OK");
  std::int32_t numbers[3];
  std::memcpy(numbers, last.data() + 4096, sizeof numbers);
  EXPECT_EQ(numbers[0], 4);
  EXPECT_EQ(numbers[1], 5);
  EXPECT_EQ(numbers[2], 6);
}

TEST(DebugWindow, NoMonitorGivesZero) {
  testsupport::TempDir dir;
  EXPECT_EQ(BSCF_SendMessageData(dir.file("none.hwnd").c_str(), "x", 0, 0, 0), 0);
  EXPECT_EQ(BSCF_SendMessageData("0x7fff0000", "x", 0, 0, 0), 0);
}

}  // namespace
