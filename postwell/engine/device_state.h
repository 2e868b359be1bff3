#pragma once
// The life cycle that the sending device and the mailbox device share. A device is stopped until
// started; a started device is idle, or occupied by one job of its host until that job sets it idle
// again. Every change shows a status, which the device keeps and pushes to its owner.
//
// The fields are the devices' own, for their hosts see them; this type works on them. It changes
// the state and names the status to show, and the device shows it through its own (overridable)
// SetDeviceStatus, outside whatever lock guards the fields.

#include <cstddef>
#include <string>

#include "postwell/device_owner.h"

namespace postwell {

class DeviceState {
 public:
  DeviceState(int& started, int& occupied) noexcept : started_(started), occupied_(occupied) {}

  // Each returns the status the device shows afterwards.
  const char* Start() noexcept;
  const char* Stop() noexcept;
  // Null, and nothing changes, when the device is stopped or occupied already.
  const char* Occupy() noexcept;
  const char* SetIdle() noexcept;

 private:
  int& started_;
  int& occupied_;
};

// Keeps the text as the device's status (empty when it cannot be copied) and tells the owner, if
// there is one: the message (wParam 512) with the device as lParam.
void showDeviceStatus(std::string& status, const char* text, IDeviceOwner* owner, unsigned message,
                      void* device);

// Copies the path (at most 259 characters) as the session's debug log file and sets its debug flag.
inline constexpr std::size_t kDebugFileSize = 260;
void setDebugFile(char (&file)[kDebugFileSize], int& flag, int debug, const char* path) noexcept;

}  // namespace postwell
