#pragma once

#include "platform/interfaces/clock.h"

namespace artnet {

// Local time of day from GetLocalTime (millisecond steps) and a monotonic
// clock from the performance counter.
class Win32Clock final : public Clock {
 public:
  Win32Clock();
  float SecondsSinceMidnight() override;
  double MonotonicSeconds() override;

 private:
  double counterFrequency_ = 1.0;
};

}  // namespace artnet
