// The Win32 datagram socket against real sockets, pumped through the message
// loop, inside a private network namespace, on the contract both platforms
// meet; changed-network.sh runs the cases on a changed network.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "contract/datagram_socket_contract.h"
#include "platform/win32/message_window.h"
#include "support.h"

namespace artnet::contract {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32DatagramSocket, DatagramSocketContract, wtest::Win32Platform);
}  // namespace artnet::contract

namespace artnet::wtest {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Message loops as hosts write them, each run for `ms`; and a modal
// message box, whose loop is the system's.
enum class HostLoop { kPlain, kRepostsIdleWork, kPeeksFirst, kModalBox };

std::function<bool()> g_boxDone;
SteadyClock::time_point g_boxEnd;

BOOL CALLBACK CloseIfBox(HWND window, LPARAM) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (lstrcmpW(className, L"#32770") == 0) PostMessageW(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

void CALLBACK CloseBoxWhenDone(HWND, UINT, UINT_PTR, DWORD) {
  if (g_boxDone() || SteadyClock::now() >= g_boxEnd) EnumThreadWindows(GetCurrentThreadId(), CloseIfBox, 0);
}

void RunHostLoop(
    HostLoop loop, int ms, const std::function<bool()>& done = [] { return false; }) {
  if (loop == HostLoop::kModalBox) {
    g_boxDone = done;
    g_boxEnd = SteadyClock::now() + std::chrono::milliseconds(ms);
    const UINT_PTR closer = SetTimer(nullptr, 0, 20, CloseBoxWhenDone);
    MessageBoxW(nullptr, L"A flood arrives", L"Host", MB_OK);
    KillTimer(nullptr, closer);
    return;
  }
  constexpr UINT kIdleWork = WM_APP + 60;
  if (loop == HostLoop::kRepostsIdleWork) PostThreadMessageW(GetCurrentThreadId(), kIdleWork, 0, 0);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  MSG msg;
  while (std::chrono::steady_clock::now() < end && !done()) {
    const bool waiting = loop == HostLoop::kPeeksFirst ? PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != 0 &&
                                                             GetMessageW(&msg, nullptr, 0, 0) > 0
                                                       : PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != 0;
    if (!waiting) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } else if (msg.message == kIdleWork && msg.hwnd == nullptr) {
      PostThreadMessageW(GetCurrentThreadId(), kIdleWork, 0, 0);  // more idle work: the queue is never empty
    } else {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  while (PeekMessageW(&msg, nullptr, kIdleWork, kIdleWork, PM_REMOVE)) {
  }
}

// A flood lasts until what it waits for has happened, or this long: a busy
// machine only makes it longer.
constexpr int kLongestFloodMs = 15000;

// Each datagram costs more than the flood's pace, so the socket never runs
// dry; `last` is when it was last read.
void ReadSlowly(contract::Recorder& recorder, SteadyClock::time_point& last) {
  recorder.extra = [&last](const contract::Delivery&) {
    last = SteadyClock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  };
}

// Datagrams to the given ports from another thread, as long as it lives.
class Flood {
 public:
  explicit Flood(std::vector<int> ports)
      : thread_([this, ports] {
          RawUdp peer;
          while (running_) {
            for (const int port : ports) peer.SendTo("127.0.0.1", port, "x");
          }
        }) {}
  ~Flood() {
    running_ = false;
    thread_.join();
  }
  Flood(const Flood&) = delete;
  Flood& operator=(const Flood&) = delete;

 private:
  std::atomic<bool> running_ = true;
  std::thread thread_;
};

// Under a flood the socket steps aside for the host's waiting timer; that
// must end soon whatever the host's loop does, or reading stops for good.
// The flood lasts until 200 datagrams were read; a socket that stopped
// reads its last long before the flood ends.
TEST(HostLoopsUnderAFlood, TheSocketKeepsReadingWhateverTheLoop) {
  if (!InTestNetns()) GTEST_SKIP() << "needs ARTNET_TEST_NETNS=1 (private network namespace)";
  struct Case {
    HostLoop loop;
    bool nested = false;       // the first handler runs a loop of its own until the end
    bool hookRefused = false;  // the system refuses the step aside's hook
    const char* what;
  };
  const Case cases[] = {{HostLoop::kPlain, false, false, "a plain loop"},
                        {HostLoop::kRepostsIdleWork, false, false, "a loop that re-posts idle work"},
                        {HostLoop::kPeeksFirst, false, false, "a loop that peeks first"},
                        {HostLoop::kModalBox, false, false, "a modal message box"},
                        {HostLoop::kPlain, true, false, "a loop nested in a handler"},
                        {HostLoop::kPlain, false, true, "a refused hook"}};
  for (const auto& [loop, nested, hookRefused, what] : cases) {
    SCOPED_TRACE(what);
    win32::MessageWindow::RefuseHooks(hookRefused);
    wtest::TestDatagramSocket control;
    contract::Recorder recorder(control);
    SteadyClock::time_point lastRead{};
    ReadSlowly(recorder, lastRead);
    const auto enough = [&] { return recorder.deliveries.size() >= 200; };
    if (nested) {
      recorder.extra = [&, readSlowly = recorder.extra, inside = false](const contract::Delivery& d) mutable {
        readSlowly(d);
        if (!std::exchange(inside, true)) RunHostLoop(HostLoop::kPlain, kLongestFloodMs, enough);
      };
    }
    ASSERT_EQ(control.Open(contract::kArtNet), kSockOk);
    const HostTimer hostTimer(20);  // waiting host messages make the socket step aside
    const auto start = SteadyClock::now();
    {
      const Flood flood({contract::kArtNet});
      RunHostLoop(loop, kLongestFloodMs, enough);
    }
    const auto end = SteadyClock::now();
    EXPECT_GE(recorder.deliveries.size(), 200u);
    EXPECT_GE(lastRead - start, (end - start) * 3 / 4);  // stopped at a step aside that never ended

    // What the flood left queued drains, and a datagram after it is read.
    recorder.extra = nullptr;
    for (std::size_t seen = 0; seen != recorder.deliveries.size();) {
      seen = recorder.deliveries.size();
      RunHostLoop(loop, 300);
    }
    RawUdp peer;
    ASSERT_TRUE(peer.SendTo("127.0.0.1", contract::kArtNet, "after"));
    RunHostLoop(loop, 10000,
                [&] { return !recorder.deliveries.empty() && recorder.deliveries.back().text == "after"; });
    EXPECT_EQ(recorder.deliveries.back().text, "after");
  }
  win32::MessageWindow::RefuseHooks(false);
}

// The host closes or destroys the control while it stands aside: nothing
// resumes into it, and a control opened afterwards reads.
TEST(HostLoopsUnderAFlood, AControlGoneWhileStandingAsideLeavesNothingBehind) {
  if (!InTestNetns()) GTEST_SKIP() << "needs ARTNET_TEST_NETNS=1 (private network namespace)";
  for (const bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroyed" : "closed");
    auto control = std::make_unique<wtest::TestDatagramSocket>();
    auto recorder = std::make_unique<contract::Recorder>(*control);
    ASSERT_EQ(control->Open(contract::kArtNet), kSockOk);
    const HostTimer hostTimer(20);
    bool gone = false;
    {
      const Flood flood({contract::kArtNet});
      // The host's idle work runs while the socket waits for the loop.
      RunHostLoop(HostLoop::kRepostsIdleWork, kLongestFloodMs, [&] {
        if (gone || recorder->deliveries.size() < 50 || !wtest::TestWindow().SteppingAside()) return gone;
        if (destroy) {
          recorder.reset();
          control.reset();
        } else {
          control->Close();
        }
        gone = true;
        return false;
      });
      RunHostLoop(HostLoop::kPlain, 200);  // what was queued for it meanwhile
    }
    EXPECT_TRUE(gone);
    if (destroy) {
      control = std::make_unique<wtest::TestDatagramSocket>();
      recorder = std::make_unique<contract::Recorder>(*control);
    }
    recorder->deliveries.clear();
    ASSERT_EQ(control->Open(contract::kArtNet), kSockOk);
    RawUdp peer;
    ASSERT_TRUE(peer.SendTo("127.0.0.1", contract::kArtNet, "after"));
    RunHostLoop(HostLoop::kPlain, 10000, [&] { return !recorder->deliveries.empty(); });
    ASSERT_EQ(recorder->deliveries.size(), 1u);
    EXPECT_EQ(recorder->deliveries.back().text, "after");
  }
}

// Two sockets flooded at once step aside together: the host's timer still
// gets its turn (none before: one socket read on through the other's step
// aside), and both go on reading.
TEST(HostLoopsUnderAFlood, TwoSocketsStepAsideTogether) {
  if (!InTestNetns()) GTEST_SKIP() << "needs ARTNET_TEST_NETNS=1 (private network namespace)";
  wtest::TestDatagramSocket first, second;
  contract::Recorder firstRecorder(first), secondRecorder(second);
  SteadyClock::time_point firstRead{}, secondRead{};
  ReadSlowly(firstRecorder, firstRead);
  ReadSlowly(secondRecorder, secondRead);
  ASSERT_EQ(first.Open(contract::kArtNet), kSockOk);
  ASSERT_EQ(second.Open(contract::kArtNet + 1), kSockOk);
  const HostTimer hostTimer(20);
  const auto start = SteadyClock::now();
  {
    const Flood flood({contract::kArtNet, contract::kArtNet + 1});
    RunHostLoop(HostLoop::kPlain, kLongestFloodMs, [&] {
      return hostTimer.ticks() >= 3 && firstRecorder.deliveries.size() >= 100 &&
             secondRecorder.deliveries.size() >= 100;
    });
  }
  const auto end = SteadyClock::now();
  EXPECT_GE(hostTimer.ticks(), 3);
  EXPECT_GE(firstRead - start, (end - start) * 3 / 4);
  EXPECT_GE(secondRead - start, (end - start) * 3 / 4);
}

}  // namespace
}  // namespace artnet::wtest
