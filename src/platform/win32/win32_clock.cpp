#include "platform/win32/win32_clock.h"

#include <windows.h>

namespace artnet {

Win32Clock::Win32Clock() {
  LARGE_INTEGER frequency{};
  // Never fails on Windows XP and later.
  if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) {
    counterFrequency_ = static_cast<double>(frequency.QuadPart);
  }
}

float Win32Clock::SecondsSinceMidnight() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  // Through memory: on i686 the x87 unit would otherwise hand back more
  // precision than a float has, and the pacing relies on single-precision
  // readings.
  const volatile float seconds =
      static_cast<float>(now.wHour * 3600.0 + now.wMinute * 60.0 + now.wSecond + now.wMilliseconds / 1000.0);
  return seconds;
}

double Win32Clock::MonotonicSeconds() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  // Rounded to a double through memory (see above): otherwise two readings
  // of the same counter value may compare as running backwards.
  const volatile double seconds = static_cast<double>(now.QuadPart) / counterFrequency_;
  return seconds;
}

}  // namespace artnet
