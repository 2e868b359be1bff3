#pragma once

// The owner of a device: receives the device's status and progress notices synchronously, on the
// thread that runs the device. 1286 is the sending device's status, 1287 a send mission's progress,
// 1288 the mailbox device's status; wParam is 512 and lParam the device or the mission record.
struct IDeviceOwner {
  virtual long OnDeviceMessage(unsigned message, unsigned long wParam, void* lParam) = 0;
  virtual ~IDeviceOwner() = default;
};
