// The Win32 timer and clock through a real message loop (the contract both
// platforms meet), and the Win32 event pump and message box.
#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
// clang-format on

#include <functional>
#include <memory>
#include <string>

#include "contract/timer_clock_contract.h"
#include "platform/win32/win32_event_pump.h"
#include "platform/win32/win32_timer.h"
#include "platform/win32/win32_warning_box.h"
#include "support.h"

namespace artnet {
namespace contract {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32TimerClock, TimerClockContract, wtest::Win32Platform);
}  // namespace contract

namespace {

using wtest::PostToLoop;

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
  auto timer = std::make_unique<wtest::TestTimer>();
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
