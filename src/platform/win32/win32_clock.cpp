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
  return static_cast<float>(now.wHour * 3600.0 + now.wMinute * 60.0 + now.wSecond + now.wMilliseconds / 1000.0);
}

double Win32Clock::MonotonicSeconds() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / counterFrequency_;
}

}  // namespace artnet
