#include "engine/device_state.h"

#include <cstring>

namespace postwell {

namespace {

constexpr unsigned long kDeviceMessageParam = 512;

const char kIdle[] = "空闲";
const char kOccupied[] = "占用";
const char kClosed[] = "关闭";

}  // namespace

const char* DeviceState::Start() noexcept {
  started_ = 1;
  return kIdle;
}

const char* DeviceState::Stop() noexcept {
  started_ = 0;
  return kClosed;
}

const char* DeviceState::Occupy() noexcept {
  if (!started_ || occupied_) return nullptr;
  occupied_ = 1;
  return kOccupied;
}

const char* DeviceState::SetIdle() noexcept {
  occupied_ = 0;
  return kIdle;
}

void showDeviceStatus(std::string& status, const char* text, IDeviceOwner* owner, unsigned message,
                      void* device) {
  try {
    status = text ? text : "";
  } catch (...) {
    status.clear();
  }
  if (owner != nullptr) owner->OnDeviceMessage(message, kDeviceMessageParam, device);
}

void setDebugFile(char (&file)[kDebugFileSize], int& flag, int debug, const char* path) noexcept {
  std::strncpy(file, path ? path : "", kDebugFileSize - 1);
  file[kDebugFileSize - 1] = '\0';
  flag = debug;
}

}  // namespace postwell
