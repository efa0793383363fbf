#pragma once

#include "platform/core/time_of_day.h"
#include "platform/interfaces/clock.h"

namespace artnet {

namespace win32 {
// Seconds on the performance counter: the one monotonic clock of this
// platform, read by the engine's clock and by the window's timer work alike.
double MonotonicSeconds();
}  // namespace win32

// Local time of day from the system time (GetSystemTimeAsFileTime) and the
// local offset in force, and the performance counter's monotonic clock.
class Win32Clock final : public Clock {
 public:
  float SecondsSinceMidnight() override;
  double MonotonicSeconds() override { return win32::MonotonicSeconds(); }

 private:
  TimeOfDay timeOfDay_{10'000'000};  // FILETIME counts 100 ns
};

}  // namespace artnet
