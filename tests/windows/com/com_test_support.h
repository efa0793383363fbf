#pragma once

#include <functional>
#include <string>

#include "platform/win32/windows_support.h"

namespace artnet::testing {

// Runs the thread's message loop, as a host's UI thread does, until `done`
// holds or `timeoutMs` passed; `wake`, when given, also ends a wait when
// signalled. Returns whether `done` held.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, HANDLE wake = nullptr) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!done()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjects(wake != nullptr ? 1 : 0, &wake, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

// A BSTR holding `text`, owned; and the text an owned BSTR holds.
inline win32::Bstr NewBstr(const wchar_t* text) { return win32::Bstr(SysAllocString(text)); }
inline std::wstring Text(const win32::Bstr& text) { return {text.Get(), SysStringLen(text.Get())}; }

}  // namespace artnet::testing
