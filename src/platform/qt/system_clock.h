#pragma once

#include <ctime>

#include "platform/interfaces/clock.h"

namespace artnet {

// Wall-clock time of day and a monotonic clock from the C library.
class SystemClock final : public Clock {
 public:
  float SecondsSinceMidnight() override;
  double MonotonicSeconds() override;

 private:
  // The local time-of-day conversion is looked up once per whole second:
  // it is the expensive part.
  std::time_t cachedSecond_ = -1;
  double cachedSecondOfDay_ = 0;
};

}  // namespace artnet
