// A host that disables and re-enables the output from its own timer's
// handler while a flood arrives: its timers must go on ticking (they once
// stopped for good after the second re-enable).
#include <gtest/gtest.h>

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
// clang-format on

#include <atomic>
#include <thread>

#include "artnet_automation.h"
#include "com_test_support.h"

namespace artnet::testing {
namespace {

constexpr UINT kHostCall = WM_APP + 1;
constexpr UINT_PTR kReenablingTimer = 1;
constexpr int kReenables = 5;

struct Host {
  _clsOutputDriver* driver = nullptr;
  int ticks = 0, reenables = 0, calls = 0;
};
Host* g_host = nullptr;

LRESULT CALLBACK HostWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kReenablingTimer) {
    ++g_host->ticks;
    if (g_host->reenables < kReenables) {
      VARIANT_BOOL result = VARIANT_FALSE;
      g_host->driver->Disable(&result);
      g_host->driver->Enable(&result);
      ++g_host->reenables;
    }
    return 0;
  }
  if (message == kHostCall) {
    ++g_host->calls;
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST(ReenableUnderAFloodTest, TheHostsTimerTicksOn) {
  const wchar_t* section = L"Software\\VB and VBA Program Settings\\ReenableUnderAFlood\\Plugins\\ArtNet.dll";
  RegSetKeyValueW(HKEY_CURRENT_USER, section, L"ArtNet_BroadcastAdress", REG_SZ, L"127.0.0.2", 20);
  Host host;
  g_host = &host;
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"ArtNet.clsOutputDriver", &clsid), S_OK);
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__clsOutputDriver,
                             reinterpret_cast<void**>(&host.driver)),
            S_OK);
  const win32::Bstr title = NewBstr(L"ReenableUnderAFlood"), file = NewBstr(L"ArtNet.dll");
  BSTR titleText = title.Get(), fileText = file.Get();
  IDispatch* helper = nullptr;
  VARIANT_BOOL result = VARIANT_FALSE;
  ASSERT_EQ(host.driver->Init(&titleText, &fileText, &helper, &result), S_OK);
  ASSERT_EQ(host.driver->Enable(&result), S_OK);

  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = HostWindow;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"ReenablingHost";
  RegisterClassW(&windowClass);
  const HWND window =
      CreateWindowW(L"ReenablingHost", L"", 0, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  std::atomic<bool> running = true;
  // A flood on port 6454, and the host's calls posted to its window every 5 ms.
  std::thread flood([&] {
    const win32::UniqueSocket peer(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(6454);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    while (running) sendto(peer.Get(), "flood", 5, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  });
  std::thread calls([&] {
    while (running) {
      PostMessageW(window, kHostCall, 0, 0);
      Sleep(5);
    }
  });
  SetTimer(window, kReenablingTimer, 20, nullptr);
  // Until the timer has ticked 20 times after the last re-enable; a busy
  // machine only makes that take longer. One message at a time, as a host's
  // loop takes them.
  int ticksAtLastReenable = -1;
  const ULONGLONG end = GetTickCount64() + 20000;
  while (GetTickCount64() < end && (ticksAtLastReenable < 0 || host.ticks < ticksAtLastReenable + 20)) {
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    if (host.reenables == kReenables && ticksAtLastReenable < 0) ticksAtLastReenable = host.ticks;
  }
  running = false;
  flood.join();
  calls.join();
  KillTimer(window, kReenablingTimer);
  DestroyWindow(window);

  EXPECT_EQ(host.reenables, kReenables);
  EXPECT_GE(host.ticks, ticksAtLastReenable + 20);
  EXPECT_GT(host.calls, 0);
  host.driver->Disable(&result);
  host.driver->Release();
}

}  // namespace
}  // namespace artnet::testing
