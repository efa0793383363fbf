// Hosts' threads as the driver meets them. A host may create the object on
// any single-threaded-apartment thread: each such thread gets a driver of
// its own, whatever the others did or do. Thread B's values loop back to its
// own socket (127.0.0.1, send universe = receive universe), so B's helper
// sees what B sent, and sees it on B. And a host may re-enable the output
// from its own timer's handler under a flood.
#include <gtest/gtest.h>

// <winsock2.h> and <windows.h> first: the COM headers need their types.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
// clang-format on

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "artnet_automation.h"
#include "com_test_support.h"
#include "recording_dispatch.h"

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
