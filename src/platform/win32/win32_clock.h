#pragma once

#include "platform/core/time_of_day.h"
#include "platform/interfaces/clock.h"

namespace artnet {

// Local time of day from the system time (GetSystemTimeAsFileTime) and the
// local offset in force, and a monotonic clock from the performance counter.
class Win32Clock final : public Clock {
 public:
  Win32Clock();
  float SecondsSinceMidnight() override;
  double MonotonicSeconds() override;

 private:
  double counterFrequency_ = 1.0;
  TimeOfDay timeOfDay_{10'000'000};  // FILETIME counts 100 ns
};

}  // namespace artnet
