#pragma once

#include <functional>
#include <string>
#include <vector>

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

// The port-in-use warning as the user meets it: a message box owned by
// this thread, closed with OK by a thread timer, which also runs inside the
// box's own modal loop.
struct WarningBoxes {
  static inline int shown = 0;
  static inline std::wstring title, text;
  static inline std::vector<int> buttons;  // the visible ones' ids
  static inline HWND last = nullptr;

  static BOOL CALLBACK FindText(HWND child, LPARAM) {
    wchar_t className[32] = {}, caption[512] = {};
    GetClassNameW(child, className, 32);
    if (lstrcmpiW(className, L"Static") == 0 && GetWindowTextW(child, caption, 512) > 0) text = caption;
    if (lstrcmpiW(className, L"Button") == 0 && IsWindowVisible(child)) buttons.push_back(GetDlgCtrlID(child));
    return TRUE;
  }
  static BOOL CALLBACK CloseIfBox(HWND window, LPARAM) {
    wchar_t className[32] = {}, caption[256] = {};
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || window == last) return TRUE;
    GetClassNameW(window, className, 32);
    if (lstrcmpW(className, L"#32770") != 0) return TRUE;
    GetWindowTextW(window, caption, 256);
    ++shown;
    last = window;
    title = caption;
    buttons.clear();
    EnumChildWindows(window, FindText, 0);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
  }
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) { EnumWindows(CloseIfBox, 0); }
};

}  // namespace artnet::testing
