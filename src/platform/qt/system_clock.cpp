#include "platform/qt/system_clock.h"

#include <time.h>

#include <cstdint>
#include <ctime>

namespace artnet {
namespace {

constexpr std::uint64_t kNanosecondsPerSecond = 1'000'000'000;

long LocalSecondOfDay(std::uint64_t utcNanoseconds) {
  const auto whole = static_cast<std::time_t>(utcNanoseconds / kNanosecondsPerSecond);
  std::tm local{};
  if (::localtime_r(&whole, &local) == nullptr) return -1;
  return local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
}

}  // namespace

float SystemClock::SecondsSinceMidnight() {
  // The coarse clock (a few ms steps) is read without a hardware counter:
  // the pacing's 40 ms window needs no finer time, and single-precision
  // seconds step 7.8 ms late in the day anyway.
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  const std::uint64_t ticks =
      static_cast<std::uint64_t>(now.tv_sec) * kNanosecondsPerSecond + static_cast<std::uint64_t>(now.tv_nsec);
  return timeOfDay_.SecondsSinceMidnight(ticks, LocalSecondOfDay);
}

double SystemClock::MonotonicSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace artnet
