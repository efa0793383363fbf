#pragma once

// <windows.h> first: the COM headers need its types.
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <functional>
#include <string>

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

// An owned BSTR.
class Bstr {
 public:
  explicit Bstr(const wchar_t* text = nullptr) : text_(text ? SysAllocString(text) : nullptr) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* Out() {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }
  BSTR get() const { return text_; }
  std::wstring str() const { return text_ ? std::wstring(text_, SysStringLen(text_)) : std::wstring(); }

 private:
  BSTR text_;
};

}  // namespace artnet::testing
