#include "platform/win32/win32_clock.h"

#include <windows.h>

#include <cstdint>

namespace artnet {
namespace {

std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// With the offset in force now, as GetLocalTime applies it.
long LocalSecondOfDay(std::uint64_t utcTicks) {
  const FILETIME utc{static_cast<DWORD>(utcTicks), static_cast<DWORD>(utcTicks >> 32)};
  FILETIME local{};
  if (!FileTimeToLocalFileTime(&utc, &local)) return -1;
  return static_cast<long>(Ticks(local) / 10'000'000 % 86'400);
}

}  // namespace

float Win32Clock::SecondsSinceMidnight() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
#if defined(__i386__) && !defined(__SSE2_MATH__)
  // Through memory: the x87 unit would otherwise hand back more precision
  // than a float has, and the pacing relies on single-precision readings.
  const volatile float seconds = timeOfDay_.SecondsSinceMidnight(Ticks(now), LocalSecondOfDay);
  return seconds;
#else
  return timeOfDay_.SecondsSinceMidnight(Ticks(now), LocalSecondOfDay);  // a float already
#endif
}

double win32::MonotonicSeconds() {
  static const double frequency = [] {
    LARGE_INTEGER f{};
    // Never fails on Windows XP and later.
    return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? static_cast<double>(f.QuadPart) : 1.0;
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  // Rounded to a double through memory (see above): otherwise two readings
  // of the same counter value may compare as running backwards.
  const volatile double seconds = static_cast<double>(now.QuadPart) / frequency;
  return seconds;
}

}  // namespace artnet
