#include "platform/win32/win32_event_pump.h"

#include <windows.h>

namespace artnet {
namespace {

// A flood keeps posting messages faster than they can be handled; DoEvents
// must still return so the pumping loop around it (the scan) can end.
constexpr DWORD kMaxPumpMilliseconds = 200;

}  // namespace

void Win32EventPump::DoEvents() {
  const DWORD start = GetTickCount();
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The host's own loop must still see it and end.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
    if (GetTickCount() - start >= kMaxPumpMilliseconds) return;
  }
}

void Win32EventPump::Sleep(int milliseconds) {
  if (milliseconds > 0) ::Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace artnet
