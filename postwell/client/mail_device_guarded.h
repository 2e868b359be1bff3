#pragma once
// The SMTP session's guard around its public operations.

#include "client/line_session.h"
#include "postwell/mail_device.h"

template <typename Body>
int CMailDevice::Guarded(Body&& body, unsigned long& error) noexcept {
  return postwell::line_session::guarded(
      body, &error,
      [&] { Fail(error, platform::err::kNotEnoughMemory, "Not enough memory for the SMTP session"); },
      [&]() noexcept { m_sLastErrorDescription.clear(); });
}
