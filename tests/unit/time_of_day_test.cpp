#include "platform/core/time_of_day.h"

#include <gtest/gtest.h>

#include <vector>

namespace artnet {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;

// A system clock in ticks whose local offset the test sets, counting the
// conversions it is asked for.
struct LocalZone {
  long offsetSeconds = 3600;
  bool fails = false;
  int conversions = 0;
  long operator()(std::uint64_t utcTicks) {
    ++conversions;
    if (fails) return -1;
    const long utcSecond = static_cast<long>(utcTicks / kTicksPerSecond % 86'400);
    return ((utcSecond + offsetSeconds) % 86'400 + 86'400) % 86'400;
  }
};

std::uint64_t At(double utcSecondsOfDay) {
  const std::uint64_t someDay = 150'000ULL * 86'400 * kTicksPerSecond;
  return someDay + static_cast<std::uint64_t>(utcSecondsOfDay * kTicksPerSecond + 0.5);
}

// Each step reads the clock at a UTC time of day after changing the zone as
// it says; the reading must be the local time of day then.
TEST(TimeOfDayTest, FollowsMidnightZoneChangesAndClocksSetBackOrForward) {
  struct Step {
    const char* what;
    double utc;
    long offset;
    bool fails;
    float expected;
  };
  const std::vector<std::vector<Step>> scenarios = {
      {{"just before local midnight", 82'799.99, 3600, false, 86'399.99F},
       {"just after: back to 0", 82'800.01, 3600, false, 0.01F}},
      {{"before a daylight-saving switch", 3599.5, 3600, false, 7199.5F},
       {"the switch lands on a whole second", 3600.0, 7200, false, 10'800.0F}},
      {{"a time zone changed within a second", 1000.2, 0, false, 1000.2F},
       {"the same second keeps its offset", 1000.7, -18'000, false, 1000.7F},
       {"followed from the next second on", 1001.1, -18'000, false, 69'401.1F}},
      {{"clock set back within its second", 500.9, 0, false, 500.9F},
       {"", 500.3, 0, false, 500.3F},
       {"set back by seconds", 480.25, 0, false, 480.25F},
       {"set forward by hours", 20'000.5, 0, false, 20'000.5F}},
      {{"no local time to be had", 700.5, 0, true, 0.0F}, {"asked again next time", 700.6, 0, false, 700.6F}},
  };
  for (const auto& steps : scenarios) {
    TimeOfDay clock(kTicksPerSecond);
    LocalZone zone;
    for (const Step& step : steps) {
      zone.offsetSeconds = step.offset;
      zone.fails = step.fails;
      EXPECT_NEAR(clock.SecondsSinceMidnight(At(step.utc), zone), step.expected, 0.01)
          << steps[0].what << ": " << step.what;
    }
  }
}

TEST(TimeOfDayTest, ConvertsToLocalTimeOncePerSecond) {
  TimeOfDay clock(kTicksPerSecond);
  LocalZone zone;
  for (int i = 0; i < 2000; ++i) clock.SecondsSinceMidnight(At(100.0 + i * 0.001), zone);
  EXPECT_EQ(zone.conversions, 2);
}

}  // namespace
}  // namespace artnet
