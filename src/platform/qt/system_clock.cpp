#include "platform/qt/system_clock.h"

#include <time.h>

namespace artnet {

float SystemClock::SecondsSinceMidnight() {
  // The coarse clock (a few ms steps) is read without a hardware counter:
  // the pacing's 40 ms window needs no finer time, and single-precision
  // seconds step 7.8 ms late in the day anyway.
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  if (now.tv_sec != cachedSecond_) {
    std::tm local{};
    if (::localtime_r(&now.tv_sec, &local) == nullptr) return 0.0F;
    cachedSecond_ = now.tv_sec;
    cachedSecondOfDay_ = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  }
  return static_cast<float>(cachedSecondOfDay_ + static_cast<double>(now.tv_nsec) * 1e-9);
}

double SystemClock::MonotonicSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace artnet
