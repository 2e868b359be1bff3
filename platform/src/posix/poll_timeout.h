#pragma once
// The timeout argument of poll(): milliseconds as an int, -1 (wait for ever) beyond its range.

inline int pollTimeout(unsigned long milliseconds) {
  return milliseconds > 0x7fffffffUL ? -1 : static_cast<int>(milliseconds);
}
