#pragma once

#include <cstdint>

namespace artnet {

// Seconds since local midnight from a UTC clock counting ticks, for the
// pacing's window test, which reads it twice per call. Converting to local
// time is the expensive part, so it is done once per whole UTC second: a
// daylight-saving switch (always on a whole second) is exact, a changed time
// zone is followed from the next second on, and a clock set back or forward
// lands outside the cached second and is converted afresh.
class TimeOfDay {
 public:
  explicit TimeOfDay(std::uint64_t ticksPerSecond)
      : ticksPerSecond_(ticksPerSecond), secondsPerTick_(1.0 / static_cast<double>(ticksPerSecond)) {}

  // utcTicks: the system time in ticks since the clock's epoch.
  // localSecondOfDay(secondStartTicks): the local second of the day, 0..86399,
  // of the whole second that starts there; negative when it cannot be told.
  template <typename LocalSecondOfDay>
  float SecondsSinceMidnight(std::uint64_t utcTicks, LocalSecondOfDay&& localSecondOfDay) {
    // Unsigned, so a reading before the cached second is far outside it too.
    std::uint64_t intoSecond = utcTicks - secondStart_;
    if (!known_ || intoSecond >= ticksPerSecond_) {
      secondStart_ = utcTicks - utcTicks % ticksPerSecond_;
      intoSecond = utcTicks - secondStart_;
      const long secondOfDay = localSecondOfDay(secondStart_);
      known_ = secondOfDay >= 0;
      if (!known_) return 0.0F;
      secondOfDay_ = static_cast<double>(secondOfDay);
    }
    // The tick count within a second is below 2^31 for clocks up to
    // nanoseconds: a signed 32-bit conversion, the cheapest on i686.
    return static_cast<float>(secondOfDay_ +
                              static_cast<double>(static_cast<std::int32_t>(intoSecond)) * secondsPerTick_);
  }

 private:
  std::uint64_t ticksPerSecond_;
  double secondsPerTick_;
  std::uint64_t secondStart_ = 0;
  bool known_ = false;
  double secondOfDay_ = 0;
};

}  // namespace artnet
