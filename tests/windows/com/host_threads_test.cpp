// Hosts' threads as the driver meets them. A host may create the object on
// any single-threaded-apartment thread: each such thread gets a driver of
// its own, whatever the others did or do. Thread B's values loop back to its
// own socket (127.0.0.1, send universe = receive universe), so B's helper
// sees what B sent, and sees it on B. When a thread's apartment ends, however
// it ends, the driver's work ends with it and nothing of it is touched after
// the host freed it. And a host may re-enable the output from its own
// timer's handler under a flood.
#include <gtest/gtest.h>

// <winsock2.h> and <windows.h> first: the COM headers need their types.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
// clang-format on

#include <atomic>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "artnet_automation.h"
#include "com_test_support.h"
#include "recording_dispatch.h"
#include "support/art_net_test_packets.h"

namespace artnet::testing {
namespace {

constexpr wchar_t kTitle[] = L"HostThreadsTest";

void LoopBackSettings() {
  const wchar_t* section = L"Software\\VB and VBA Program Settings\\HostThreadsTest\\Plugins\\ArtNet.dll";
  const std::pair<const wchar_t*, const wchar_t*> values[] = {
      {L"ArtNet_BroadcastAdress", L"127.0.0.1"}, {L"ArtNet_InputUniverse1", L"0"}, {L"ArtNet_OutputUniverse1", L"0"}};
  for (const auto& [name, text] : values) {
    RegSetKeyValueW(HKEY_CURRENT_USER, section, name, REG_SZ, text,
                    static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
  }
}

bool PortIsFree(int port) {
  const win32::UniqueSocket probe(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<u_short>(port));
  return bind(probe.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

// A peer's ArtDmx for universe 0 on loopback, one channel set to `value`.
void SendDmxToPort(std::uint8_t value) {
  const win32::UniqueSocket peer(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(6454);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const Bytes dmx = IncomingDmx(0, 2, {value, value});
  sendto(peer.Get(), reinterpret_cast<const char*>(dmx.data()), static_cast<int>(dmx.size()), 0,
         reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

bool PortFreeWithin(int ms) {
  for (const ULONGLONG end = GetTickCount64() + ms; !PortIsFree(6454); Sleep(5)) {
    if (GetTickCount64() >= end) return false;
  }
  return true;
}

// Run under Wine's heap checks (com.apartment_end_heap_checked), a block
// written after it was freed shows in HeapValidate.
bool HeapChecked() {
  char debug[256] = {};
  GetEnvironmentVariableA("WINEDEBUG", debug, sizeof debug);
  return std::strstr(debug, "heap") != nullptr;
}

bool HeapsValid() {
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < count && i < 64; ++i) {
    if (!HeapValidate(heaps[i], 0, nullptr)) return false;
  }
  return true;
}

double PrivateMegabytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  // Private bytes, as Windows' tools name them (Wine leaves PrivateUsage at 0).
  return static_cast<double>(counters.PagefileUsage) / (1024.0 * 1024.0);
}

// One host thread's object, called as a host calls it.
class ThreadsDriver {
 public:
  ThreadsDriver() {
    CLSID clsid{};
    CLSIDFromProgID(L"ArtNet.clsOutputDriver", &clsid);
    created = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__clsOutputDriver,
                               reinterpret_cast<void**>(&driver_));
  }
  void Release() {
    if (driver_ != nullptr) driver_->Release();
    driver_ = nullptr;
  }
  _clsOutputDriver* Take() { return std::exchange(driver_, nullptr); }
  bool Init(IDispatch* helper) {
    const win32::Bstr title = NewBstr(kTitle), file = NewBstr(L"ArtNet.dll");
    BSTR titleText = title.Get(), fileText = file.Get();
    VARIANT_BOOL result = VARIANT_TRUE;
    return driver_->Init(&titleText, &fileText, &helper, &result) == S_OK;
  }
  bool Call(HRESULT (STDMETHODCALLTYPE _clsOutputDriver::*method)(VARIANT_BOOL*)) {
    VARIANT_BOOL result = VARIANT_FALSE;
    return (driver_->*method)(&result) == S_OK && result == VARIANT_TRUE;
  }
  bool SetChannel(LONG channel, LONG value) {
    VARIANT_BOOL result = VARIANT_FALSE;
    return driver_->SetChannel(&channel, &value, &result) == S_OK && result == VARIANT_TRUE;
  }

  HRESULT created = E_FAIL;

 private:
  _clsOutputDriver* driver_ = nullptr;
};

// What thread A does once its driver has been enabled.
enum class FirstThread {
  LeavesItsApartment,  // still enabled, released, CoUninitialize; the thread lives on
  EndsInItsApartment,  // still enabled, never released; the thread ends
  GoesOnPumping,       // disabled; its loop running
  IsBlocked,           // disabled; its loop not running
};

TEST(HostThreadsTest, EveryApartmentThreadDrivesItsOwnObjectWhateverTheFirstDoes) {
  LoopBackSettings();
  for (const FirstThread first : {FirstThread::LeavesItsApartment, FirstThread::EndsInItsApartment,
                                  FirstThread::GoesOnPumping, FirstThread::IsBlocked}) {
    SCOPED_TRACE(static_cast<int>(first));
    const win32::Owned<HANDLE, &CloseHandle> ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const win32::Owned<HANDLE, &CloseHandle> stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool firstEnabled = false;
    std::thread a([&] {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      ThreadsDriver driver;
      firstEnabled = driver.created == S_OK && driver.Init(nullptr) && driver.Call(&_clsOutputDriver::Enable);
      if (first == FirstThread::EndsInItsApartment) {
        SetEvent(ready.Get());
        return;
      }
      const bool leaves = first == FirstThread::LeavesItsApartment;
      if (leaves) {
        driver.Release();
        CoUninitialize();
      } else {
        driver.Call(&_clsOutputDriver::Disable);
      }
      SetEvent(ready.Get());
      const auto stopped = [&] { return WaitForSingleObject(stop.Get(), 0) == WAIT_OBJECT_0; };
      if (first == FirstThread::GoesOnPumping) PumpUntil(stopped, INFINITE, stop.Get());
      WaitForSingleObject(stop.Get(), INFINITE);
      if (!leaves) {
        driver.Release();
        CoUninitialize();
      }
    });
    WaitForSingleObject(ready.Get(), 10000);
    if (first == FirstThread::EndsInItsApartment) {
      a.join();
      // Its socket closes once it has ended, not only when another thread needs the port.
      EXPECT_TRUE(PumpUntil([] { return PortIsFree(6454); }, 5000));
    }

    RecordingDispatch helper;
    WarningBoxes::shown = 0;
    bool enabled = false, set = false;
    DWORD threadB = 0;
    std::thread b([&] {
      threadB = GetCurrentThreadId();
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      const UINT_PTR closesBoxes = SetTimer(nullptr, 0, 50, WarningBoxes::Tick);  // rather than hang on one
      {
        ThreadsDriver driver;
        enabled = driver.created == S_OK && driver.Init(&helper) && driver.Call(&_clsOutputDriver::Enable);
        set = enabled && driver.SetChannel(1, 10) && driver.SetChannel(2, 20);  // the second one deferred
        PumpUntil([&] { return helper.calls.size() >= 2; }, 5000);
        driver.Call(&_clsOutputDriver::Disable);
        driver.Init(nullptr);  // the helper lives on this stack
        driver.Release();
      }
      KillTimer(nullptr, closesBoxes);
      CoUninitialize();
    });
    b.join();
    SetEvent(stop.Get());
    if (a.joinable()) a.join();

    EXPECT_TRUE(firstEnabled);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(set);
    EXPECT_EQ(WarningBoxes::shown, 0);  // port 6454 was B's
    std::vector<std::pair<LONG, LONG>> values;
    int onB = 0;
    for (const RecordedCall& call : helper.calls) {
      values.emplace_back(call.channel, call.value);
      onB += call.thread == threadB ? 1 : 0;
    }
    EXPECT_EQ(values, (std::vector<std::pair<LONG, LONG>>{{1, 10}, {2, 20}}));
    EXPECT_EQ(onB, static_cast<int>(helper.calls.size()));
  }
}

// How a thread's apartment ends under an enabled driver.
enum class ApartmentEnd {
  InsideTheHelper,   // the helper releases the last driver and calls CoUninitialize
  WhileHeld,         // CoUninitialize with the driver still held; released later from another thread
  ThreadEndsInside,  // the thread ends without leaving its apartment
  NoPluginControl,   // the same thread life without the plug-in: what memory it costs alone
};

TEST(HostThreadsTest, AnApartmentsEndEndsItsDriversWorkAndFreesWhatItCan) {
  LoopBackSettings();
  double controlKb = 0;
  for (const ApartmentEnd end : {ApartmentEnd::InsideTheHelper, ApartmentEnd::WhileHeld, ApartmentEnd::NoPluginControl,
                                 ApartmentEnd::ThreadEndsInside}) {
    SCOPED_TRACE(static_cast<int>(end));
    const bool threadEnds = end == ApartmentEnd::ThreadEndsInside || end == ApartmentEnd::NoPluginControl;
    // Ended threads in a row, so what each leaves behind shows above the
    // noise; the first one makes what a process makes once.
    const int threads = threadEnds ? 41 : 1;
    double before = PrivateMegabytes();
    RecordingDispatch helper;
    int callsAfterEnd = 0;
    HRESULT laterCall = S_OK;
    _clsOutputDriver* held = nullptr;
    for (int t = 0; t < threads; ++t) {
      std::thread host([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (end == ApartmentEnd::NoPluginControl) {
          const HWND window = CreateWindowW(L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
          PumpUntil([] { return false; }, 20);
          (void)window;  // left to the thread's end, as the plug-in's is
          return;
        }
        ThreadsDriver driver;
        bool ended = false;
        if (end == ApartmentEnd::InsideTheHelper) {
          helper.onCall = [&] {
            if (ended) return;
            ended = true;
            driver.Release();
            CoUninitialize();
          };
        }
        const std::size_t callsBefore = helper.calls.size();
        ASSERT_TRUE(driver.created == S_OK && driver.Init(&helper) && driver.Call(&_clsOutputDriver::Enable));
        ASSERT_TRUE(driver.SetChannel(1, 10));
        ASSERT_TRUE(PumpUntil([&] { return helper.calls.size() > callsBefore; }, 5000));
        if (end == ApartmentEnd::ThreadEndsInside) return;
        if (end == ApartmentEnd::WhileHeld) {
          CoUninitialize();
          ended = true;
        }
        ASSERT_TRUE(ended);
        // Whatever still reaches the port, the host hears nothing more.
        const std::size_t callsAtEnd = helper.calls.size();
        for (int value = 1; value <= 20; ++value) {
          SendDmxToPort(static_cast<std::uint8_t>(value));
          PumpUntil([] { return false; }, 10);
        }
        callsAfterEnd = static_cast<int>(helper.calls.size() - callsAtEnd);
        if (end == ApartmentEnd::WhileHeld) {
          held = driver.Take();
          LONG channel = 2, value = 20;
          VARIANT_BOOL result = VARIANT_FALSE;
          laterCall = held->SetChannel(&channel, &value, &result);
        }
      });
      host.join();
      if (threadEnds) PortFreeWithin(5000);
      if (t == 0 && threadEnds) before = PrivateMegabytes();
    }
    if (held != nullptr) held->Release();  // from a thread that is not the driver's
    Sleep(100);                            // what ends on the system's thread pool
    const double perThreadKb = (PrivateMegabytes() - before) * 1024.0 / (threads > 1 ? threads - 1 : 1);
    std::printf("apartment end %d: %.1f KB private per thread\n", static_cast<int>(end), perThreadKb);

    EXPECT_TRUE(PortFreeWithin(5000));
    EXPECT_TRUE(HeapsValid());
    EXPECT_EQ(callsAfterEnd, 0);
    if (end == ApartmentEnd::WhileHeld) {
      EXPECT_EQ(laterCall, RPC_E_DISCONNECTED);
    }
    if (!threadEnds) {
      EXPECT_EQ(helper.refs, 1u);  // released when the apartment ended
    }
    if (end == ApartmentEnd::NoPluginControl) controlKb = perThreadKb;
    // Wine's heap checks keep freed blocks aside, so memory says nothing then.
    if (end == ApartmentEnd::ThreadEndsInside && !HeapChecked()) {
      EXPECT_LT(perThreadKb, controlKb + 16.0);
    }
    helper.onCall = nullptr;
  }
}

// The host's timer handler disables and re-enables the output while a flood
// arrives and the host's calls are posted to its window every 5 ms: its
// timer must go on ticking (it once stopped for good after the second
// re-enable).
constexpr UINT kHostCall = WM_APP + 1;
constexpr int kReenables = 5;
ThreadsDriver* g_reenabled = nullptr;
int g_ticks = 0, g_reenables = 0;

LRESULT CALLBACK ReenablingHost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) ++g_ticks;
  if (message == WM_TIMER && g_reenables < kReenables) {
    g_reenabled->Call(&_clsOutputDriver::Disable);
    g_reenables += g_reenabled->Call(&_clsOutputDriver::Enable) ? 1 : 0;
  }
  return message == WM_TIMER || message == kHostCall ? 0 : DefWindowProcW(window, message, wParam, lParam);
}

TEST(HostThreadsTest, ATimerThatReenablesUnderAFloodTicksOn) {
  LoopBackSettings();
  ThreadsDriver driver;
  g_reenabled = &driver;
  ASSERT_TRUE(driver.created == S_OK && driver.Init(nullptr) && driver.Call(&_clsOutputDriver::Enable));
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = ReenablingHost;
  windowClass.lpszClassName = L"ReenablingHost";
  RegisterClassW(&windowClass);
  const HWND window = CreateWindowW(L"ReenablingHost", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  std::atomic<bool> running = true;
  std::thread flood([&] {
    const win32::UniqueSocket peer(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(6454);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    while (running) sendto(peer.Get(), "flood", 5, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  });
  std::thread calls([&] {
    for (; running; Sleep(5)) PostMessageW(window, kHostCall, 0, 0);
  });
  SetTimer(window, 1, 20, nullptr);
  // Until 20 ticks after the last re-enable (a busy machine only makes that
  // take longer), one message at a time, as a host's loop takes them.
  int ticksAtLastReenable = -1;
  for (const ULONGLONG end = GetTickCount64() + 20000;
       GetTickCount64() < end && (ticksAtLastReenable < 0 || g_ticks < ticksAtLastReenable + 20);) {
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    if (g_reenables == kReenables && ticksAtLastReenable < 0) ticksAtLastReenable = g_ticks;
  }
  running = false;
  flood.join();
  calls.join();
  DestroyWindow(window);
  EXPECT_EQ(g_reenables, kReenables);
  EXPECT_GE(g_ticks, ticksAtLastReenable + 20);
  driver.Call(&_clsOutputDriver::Disable);
  driver.Release();
}

}  // namespace
}  // namespace artnet::testing
