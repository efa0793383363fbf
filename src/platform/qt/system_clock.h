#pragma once

#include "platform/core/time_of_day.h"
#include "platform/interfaces/clock.h"

namespace artnet {

// Wall-clock time of day and a monotonic clock from the C library.
class SystemClock final : public Clock {
 public:
  float SecondsSinceMidnight() override;
  double MonotonicSeconds() override;

 private:
  TimeOfDay timeOfDay_{1'000'000'000};  // nanoseconds
};

}  // namespace artnet
