#pragma once
// The SMTP session's guard around its public operations.

#include <exception>

#include "platform/last_error.h"
#include "postwell/mail_device.h"

template <typename Body>
int CMailDevice::Guarded(Body&& body, unsigned long& error) noexcept {
  try {
    return body();
  } catch (...) {
    // Whatever throws here is out of memory: strings and lines are all the session allocates.
    try {
      Fail(error, platform::err::kNotEnoughMemory, "Not enough memory for the SMTP session");
    } catch (...) {
      error = platform::err::kNotEnoughMemory;
      m_sLastErrorDescription.clear();
    }
    platform::setLastError(platform::err::kNotEnoughMemory);
    return 0;
  }
}
