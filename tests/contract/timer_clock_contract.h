// The timer's and the clock's contract, through the platform's real event
// loop. Each platform instantiates it once, in one file of its test program,
// with a type that names Timer, Clock and EventPump and has PumpUntil(done,
// timeoutMs) and PumpFor(ms). Margins are wide: these check behaviour, not
// speed, on a possibly busy machine.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "platform/interfaces/clock.h"
#include "platform/interfaces/timer.h"

namespace artnet::contract {

inline double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

template <typename Platform>
class TimerClockContract : public testing::Test {};

TYPED_TEST_SUITE_P(TimerClockContract);

TYPED_TEST_P(TimerClockContract, EnablingARunningTimerDoesNotRestartIt) {
  // A restart would move the first tick from 200 ms to 320 ms.
  typename TypeParam::Timer timer;
  typename TypeParam::Timer later;
  std::vector<double> ticks;
  timer.SetInterval(200);
  const auto start = std::chrono::steady_clock::now();
  timer.SetTickHandler([&] { ticks.push_back(MillisecondsSince(start)); });
  ASSERT_EQ(timer.SetEnabled(true), 0);
  later.SetInterval(120);
  later.SetTickHandler([&] {
    later.SetEnabled(false);
    EXPECT_EQ(timer.SetEnabled(true), 0);
  });
  ASSERT_EQ(later.SetEnabled(true), 0);
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return !ticks.empty(); }, 2000));
  EXPECT_GE(ticks[0], 190);
  EXPECT_LT(ticks[0], 290);
  EXPECT_TRUE(timer.Enabled());
}

TYPED_TEST_P(TimerClockContract, TicksPeriodicallyUntilDisabled) {
  typename TypeParam::Timer timer;
  int ticks = 0;
  timer.SetInterval(20);
  timer.SetTickHandler([&] { ++ticks; });
  EXPECT_FALSE(timer.Enabled());
  ASSERT_EQ(timer.SetEnabled(true), 0);
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return ticks >= 3; }, 2000));
  EXPECT_EQ(timer.SetEnabled(false), 0);
  EXPECT_FALSE(timer.Enabled());
  const int atStop = ticks;
  TypeParam::PumpFor(150);
  EXPECT_EQ(ticks, atStop);

  // A handler that disables its own timer gets exactly one tick (the flush timer's use).
  ticks = 0;
  timer.SetTickHandler([&] {
    ++ticks;
    timer.SetEnabled(false);
  });
  timer.SetEnabled(true);
  TypeParam::PumpFor(150);
  EXPECT_EQ(ticks, 1);

  // A zero interval still ticks.
  ticks = 0;
  timer.SetInterval(0);
  timer.SetEnabled(true);
  EXPECT_TRUE(TypeParam::PumpUntil([&] { return ticks == 1; }, 2000));
}

TYPED_TEST_P(TimerClockContract, NewIntervalRestartsARunningTimerAndDisablingDropsAnExpiredTick) {
  typename TypeParam::Timer timer;
  std::vector<double> ticks;
  timer.SetInterval(1000);
  const auto start = std::chrono::steady_clock::now();
  timer.SetTickHandler([&] { ticks.push_back(MillisecondsSince(start)); });
  ASSERT_EQ(timer.SetEnabled(true), 0);
  timer.SetInterval(50);
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return !ticks.empty(); }, 2000));
  EXPECT_LT(ticks[0], 500);

  // Expired while nobody pumped, then disabled, or disabled and enabled
  // again: that tick must not run later.
  ticks.clear();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  timer.SetEnabled(false);
  TypeParam::PumpFor(100);
  EXPECT_TRUE(ticks.empty());
  timer.SetInterval(400);
  timer.SetEnabled(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  TypeParam::PumpFor(150);
  EXPECT_TRUE(ticks.empty());
}

TYPED_TEST_P(TimerClockContract, TimersDestroyedByTheirOwnTickOrBeforeItAreSafe) {
  auto timer = std::make_unique<typename TypeParam::Timer>();
  int ticks = 0;
  timer->SetInterval(10);
  timer->SetTickHandler([&] {
    ++ticks;
    timer.reset();
  });
  ASSERT_EQ(timer->SetEnabled(true), 0);
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return timer == nullptr; }, 2000));
  TypeParam::PumpFor(50);
  EXPECT_EQ(ticks, 1);

  // Expired but destroyed before the loop ran: its tick goes nowhere.
  ticks = 0;
  timer = std::make_unique<typename TypeParam::Timer>();
  timer->SetInterval(10);
  timer->SetTickHandler([&] { ++ticks; });
  timer->SetEnabled(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  timer.reset();
  TypeParam::PumpFor(60);
  EXPECT_EQ(ticks, 0);
}

TYPED_TEST_P(TimerClockContract, SecondsSinceMidnightIsTheLocalTimeOfDay) {
  typename TypeParam::Clock clock;
  const auto now = std::chrono::system_clock::now();
  const std::time_t whole = std::chrono::system_clock::to_time_t(now);
  const std::tm* local = std::localtime(&whole);
  ASSERT_NE(local, nullptr);
  const double fraction = std::chrono::duration<double>(now - std::chrono::system_clock::from_time_t(whole)).count();
  const double expected = local->tm_hour * 3600.0 + local->tm_min * 60.0 + local->tm_sec + fraction;
  const double actual = clock.SecondsSinceMidnight();
  double difference = std::fabs(actual - expected);
  difference = std::min(difference, 86400.0 - difference);  // across midnight
  EXPECT_LT(difference, 1.0);
  EXPECT_GE(actual, 0.0);
  EXPECT_LT(actual, 86400.0);

  // Carries fractions of a second, not only a cached whole second.
  const float before = clock.SecondsSinceMidnight();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  double step = clock.SecondsSinceMidnight() - before;
  if (step < 0) step += 86400.0;
  EXPECT_GT(step, 0.05);
  EXPECT_LT(step, 1.0);
}

TYPED_TEST_P(TimerClockContract, MonotonicSecondsNeverDecrease) {
  typename TypeParam::Clock clock;
  double last = clock.MonotonicSeconds();
  for (int i = 0; i < 100000; ++i) {
    const double now = clock.MonotonicSeconds();
    ASSERT_GE(now, last);
    last = now;
  }
  typename TypeParam::EventPump pump;
  pump.Sleep(30);  // a real sleep, seen by the monotonic clock
  EXPECT_GE(clock.MonotonicSeconds() - last, 0.025);
}

REGISTER_TYPED_TEST_SUITE_P(TimerClockContract, EnablingARunningTimerDoesNotRestartIt, TicksPeriodicallyUntilDisabled,
                            NewIntervalRestartsARunningTimerAndDisablingDropsAnExpiredTick,
                            TimersDestroyedByTheirOwnTickOrBeforeItAreSafe, SecondsSinceMidnightIsTheLocalTimeOfDay,
                            MonotonicSecondsNeverDecrease);

}  // namespace artnet::contract
