// The Win32 timer, clock, event pump and message box, through a real
// message loop. Margins are wide: these check behaviour, not speed, on a
// possibly busy machine.
#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
// clang-format on

#include <chrono>
#include <cmath>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_event_pump.h"
#include "platform/win32/win32_timer.h"
#include "platform/win32/win32_warning_box.h"
#include "support.h"

namespace artnet {
namespace {

using wtest::PostToLoop;
using wtest::PumpFor;
using wtest::PumpUntil;

double Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

TEST(Win32TimerTest, EnablingARunningTimerDoesNotRestartIt) {
  // A restart would move the first tick from 200 ms to 320 ms.
  Win32Timer timer;
  Win32Timer later;
  std::vector<double> ticks;
  timer.SetInterval(200);
  const auto start = std::chrono::steady_clock::now();
  timer.SetTickHandler([&] { ticks.push_back(Milliseconds(start)); });
  ASSERT_EQ(timer.SetEnabled(true), 0);
  later.SetInterval(120);
  later.SetTickHandler([&] {
    later.SetEnabled(false);
    EXPECT_EQ(timer.SetEnabled(true), 0);
  });
  ASSERT_EQ(later.SetEnabled(true), 0);
  ASSERT_TRUE(PumpUntil([&] { return !ticks.empty(); }, 2000));
  EXPECT_GE(ticks[0], 190);
  EXPECT_LT(ticks[0], 300);
  EXPECT_TRUE(timer.Enabled());
}

TEST(Win32TimerTest, TicksPeriodicallyUntilDisabled) {
  Win32Timer timer;
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

  // A zero interval still ticks.
  ticks = 0;
  timer.SetInterval(0);
  timer.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return ticks == 1; }, 2000));
}

TEST(Win32TimerTest, NewIntervalRestartsARunningTimerAndDisablingDropsAnExpiredTick) {
  Win32Timer timer;
  std::vector<double> ticks;
  timer.SetInterval(1000);
  const auto start = std::chrono::steady_clock::now();
  timer.SetTickHandler([&] { ticks.push_back(Milliseconds(start)); });
  ASSERT_EQ(timer.SetEnabled(true), 0);
  timer.SetInterval(50);
  ASSERT_TRUE(PumpUntil([&] { return !ticks.empty(); }, 2000));
  EXPECT_LT(ticks[0], 500);

  // Expired while nobody pumped, then disabled, or disabled and enabled
  // again: that tick must not run later.
  ticks.clear();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  timer.SetEnabled(false);
  PumpFor(100);
  EXPECT_TRUE(ticks.empty());
  timer.SetInterval(400);
  timer.SetEnabled(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  PumpFor(150);
  EXPECT_TRUE(ticks.empty());
}

TEST(Win32TimerTest, TimersDestroyedByTheirOwnTickOrBeforeItAreSafe) {
  auto timer = std::make_unique<Win32Timer>();
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

  // Expired but destroyed before the loop ran: its tick goes nowhere.
  ticks = 0;
  timer = std::make_unique<Win32Timer>();
  timer->SetInterval(10);
  timer->SetTickHandler([&] { ++ticks; });
  timer->SetEnabled(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  timer.reset();
  PumpFor(60);
  EXPECT_EQ(ticks, 0);
}

TEST(Win32ClockTest, SecondsSinceMidnightIsTheLocalTimeOfDay) {
  Win32Clock clock;
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  ASSERT_NE(local, nullptr);
  const double expected = local->tm_hour * 3600.0 + local->tm_min * 60.0 + local->tm_sec;
  const double actual = clock.SecondsSinceMidnight();
  double difference = std::fabs(actual - expected);
  difference = std::min(difference, 86400.0 - difference);  // across midnight
  EXPECT_LT(difference, 2.0);
  EXPECT_GE(actual, 0.0);
  EXPECT_LT(actual, 86400.0);

  // Carries fractions of a second.
  const float before = clock.SecondsSinceMidnight();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  double step = clock.SecondsSinceMidnight() - before;
  if (step < 0) step += 86400.0;
  EXPECT_GT(step, 0.05);
  EXPECT_LT(step, 1.0);
}

TEST(Win32ClockTest, MonotonicSecondsNeverDecrease) {
  Win32Clock clock;
  double last = clock.MonotonicSeconds();
  for (int i = 0; i < 100000; ++i) {
    const double now = clock.MonotonicSeconds();
    ASSERT_GE(now, last);
    last = now;
  }
  Win32EventPump pump;
  pump.Sleep(30);  // a real sleep, seen by the monotonic clock
  EXPECT_GE(clock.MonotonicSeconds() - last, 0.025);
}

TEST(Win32EventPumpTest, DoEventsRunsWhatIsQueuedAndLeavesTheQuitRequestToTheHost) {
  Win32EventPump pump;
  int ran = 0;
  PostToLoop([&] { ++ran; });
  PostToLoop([&] { ++ran; });
  PostQuitMessage(3);
  pump.DoEvents();
  EXPECT_EQ(ran, 2);
  // Still there for the host's own loop, with its exit code.
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 3u);

  // Work that keeps posting more (a flood) must not keep DoEvents from
  // returning to the loop around it.
  bool flooding = true;
  int handled = 0;
  std::function<void()> repost = [&] {
    ++handled;
    if (flooding) PostToLoop(repost);
  };
  PostToLoop(repost);
  pump.DoEvents();
  EXPECT_GT(handled, 1);
  flooding = false;
  pump.DoEvents();
}

// Finds the box by its title and reads its text, then presses OK.
struct BoxCloser {
  std::wstring title;
  std::wstring textSeen;
  bool closed = false;

  static BOOL CALLBACK CollectText(HWND child, LPARAM context) {
    auto* self = reinterpret_cast<BoxCloser*>(context);
    wchar_t text[512] = {};
    GetWindowTextW(child, text, 512);
    if (wcslen(text) > self->textSeen.size()) self->textSeen = text;
    return TRUE;
  }
  void TryClose() {
    const HWND box = FindWindowW(L"#32770", title.c_str());
    if (box == nullptr || closed) return;
    EnumChildWindows(box, &CollectText, reinterpret_cast<LPARAM>(this));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    closed = true;
  }
};

TEST(Win32WarningBoxTest, ShowsTheTextUnderTheModuleNameAndTimersRunWhileItIsOpen) {
  Win32WarningBox box;
  WarningBox& messages = box;
  EXPECT_EQ(Win32WarningBox::Title(), "windows_platform_tests");  // this program's file name
  BoxCloser closer;
  closer.title = L"windows_platform_tests";
  int ticks = 0;
  auto timer = std::make_unique<Win32Timer>();
  timer->SetInterval(20);
  timer->SetTickHandler([&] {
    if (++ticks == 3) closer.TryClose();
  });
  ASSERT_EQ(timer->SetEnabled(true), 0);
  messages.ShowCritical("Port 0x1936 is already in use by another program. Please close that program.");
  EXPECT_TRUE(closer.closed);
  EXPECT_GE(ticks, 3);
  EXPECT_EQ(closer.textSeen, L"Port 0x1936 is already in use by another program. Please close that program.");
}

}  // namespace
}  // namespace artnet
