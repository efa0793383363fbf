// The Qt timer and the system clock. Margins are wide: these check
// behaviour, not speed, on a possibly busy machine.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTime>
#include <QTimer>
#include <cmath>
#include <memory>
#include <thread>

#include "net_support.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/qt_warning_box.h"
#include "platform/qt/system_clock.h"

namespace artnet {
namespace {

using itest::PumpFor;
using itest::PumpUntil;

TEST(QtTimerTest, EnablingARunningTimerDoesNotRestartIt) {
  // A restart would move the first tick from 200 ms to 320 ms.
  QtTimer timer;
  QElapsedTimer clock;
  std::vector<qint64> ticks;
  timer.SetInterval(200);
  timer.SetTickHandler([&] { ticks.push_back(clock.elapsed()); });
  clock.start();
  ASSERT_EQ(timer.SetEnabled(true), 0);
  QTimer::singleShot(120, [&] { timer.SetEnabled(true); });
  ASSERT_TRUE(PumpUntil([&] { return !ticks.empty(); }, 2000));
  EXPECT_GE(ticks[0], 190);
  EXPECT_LT(ticks[0], 290);
  EXPECT_TRUE(timer.Enabled());
}

TEST(QtTimerTest, TicksPeriodicallyUntilDisabled) {
  QtTimer timer;
  int ticks = 0;
  timer.SetInterval(20);
  timer.SetTickHandler([&] { ++ticks; });
  EXPECT_FALSE(timer.Enabled());
  ASSERT_EQ(timer.SetEnabled(true), 0);
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }, 2000));
  EXPECT_EQ(timer.SetEnabled(false), 0);
  EXPECT_FALSE(timer.Enabled());
  const int atStop = ticks;
  PumpFor(150);
  EXPECT_EQ(ticks, atStop);

  // A handler that disables its own timer gets exactly one tick (the flush timer's use).
  ticks = 0;
  timer.SetTickHandler([&] {
    ++ticks;
    timer.SetEnabled(false);
  });
  timer.SetEnabled(true);
  PumpFor(150);
  EXPECT_EQ(ticks, 1);
}

TEST(QtTimerTest, NewIntervalRestartsARunningTimerAndDisablingDropsAnExpiredTick) {
  QtTimer timer;
  QElapsedTimer clock;
  std::vector<qint64> ticks;
  timer.SetInterval(1000);
  timer.SetTickHandler([&] { ticks.push_back(clock.elapsed()); });
  clock.start();
  ASSERT_EQ(timer.SetEnabled(true), 0);
  timer.SetInterval(50);
  ASSERT_TRUE(PumpUntil([&] { return !ticks.empty(); }, 2000));
  EXPECT_LT(ticks[0], 500);

  // Expired while nobody pumped, then disabled: that tick must not run later.
  ticks.clear();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  timer.SetEnabled(false);
  PumpFor(100);
  EXPECT_TRUE(ticks.empty());
}

TEST(QtTimerTest, ATimerDestroyedByItsOwnTickIsSafe) {
  auto timer = std::make_unique<QtTimer>();
  int ticks = 0;
  timer->SetInterval(10);
  timer->SetTickHandler([&] {
    ++ticks;
    timer.reset();
  });
  ASSERT_EQ(timer->SetEnabled(true), 0);
  ASSERT_TRUE(PumpUntil([&] { return timer == nullptr; }, 2000));
  PumpFor(50);
  EXPECT_EQ(ticks, 1);
}

TEST(SystemClockTest, SecondsSinceMidnightIsTheLocalTimeOfDay) {
  SystemClock clock;
  const double expected = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
  const double actual = clock.SecondsSinceMidnight();
  double difference = std::fabs(actual - expected);
  difference = std::min(difference, 86400.0 - difference);  // across midnight
  EXPECT_LT(difference, 1.0);
  EXPECT_GE(actual, 0.0);
  EXPECT_LT(actual, 86400.0);

  // Carries fractions of a second, not only the cached whole second.
  const float before = clock.SecondsSinceMidnight();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  double step = clock.SecondsSinceMidnight() - before;
  if (step < 0) step += 86400.0;
  EXPECT_GT(step, 0.05);
  EXPECT_LT(step, 1.0);
}

TEST(SystemClockTest, MonotonicSecondsNeverDecrease) {
  SystemClock clock;
  double last = clock.MonotonicSeconds();
  for (int i = 0; i < 100000; ++i) {
    const double now = clock.MonotonicSeconds();
    ASSERT_GE(now, last);
    last = now;
  }
  QtEventPump pump;
  pump.Sleep(30);  // a real sleep, seen by the monotonic clock
  EXPECT_GE(clock.MonotonicSeconds() - last, 0.025);
}

}  // namespace
}  // namespace artnet

namespace artnet {
namespace {

TEST(QtEventPumpTest, DoEventsRunsQueuedWorkAndDeferredDeletes) {
  QtEventPump pump;
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  auto* doomed = new QObject;
  bool destroyed = false;
  QObject::connect(doomed, &QObject::destroyed, [&] { destroyed = true; });
  doomed->deleteLater();
  pump.DoEvents();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(destroyed);  // a pumping loop must not pile up retired objects
}

TEST(QtWarningBoxTest, WithoutAWidgetApplicationTheTextGoesToStderr) {
  QtWarningBox box;
  testing::internal::CaptureStderr();
  box.ShowCritical("Port 0x1936 is already in use by another program. Please close that program.");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Port 0x1936 is already in use by another program. Please close that program.\n");
}

}  // namespace
}  // namespace artnet
