// Drives the modal configuration dialog from inside its own loop, the way a
// person would: one step per timer tick, so that the messages a step posts
// (keys, clicks) are handled before the next step looks at the result.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/win32/win32_config_dialog.h"

namespace artnet::testing {

// A step returns false to be tried again on the next tick (waiting for
// something), true when it is done.
using Step = std::function<bool(HWND dialog)>;

class DialogScript {
 public:
  explicit DialogScript(std::vector<Step> steps) : steps_(std::move(steps)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 10, &DialogScript::Tick);
  }
  ~DialogScript() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  DialogScript(const DialogScript&) = delete;
  DialogScript& operator=(const DialogScript&) = delete;

  // Every step ran; false when the dialog had to be destroyed after waiting
  // too long (a step that never finished, or a dialog that did not close).
  bool Finished() const { return next_ == steps_.size() && !timedOut_; }
  std::size_t StepsRun() const { return next_; }

  static HWND FindDialog() { return FindWindowW(L"#32770", L"ArtNet configuration"); }

 private:
  static constexpr int kPatienceTicks = 1500;

  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    // Nothing may leave a timer procedure.
    try {
      if (current_ != nullptr) current_->OnTick();
    } catch (...) {
      if (current_ != nullptr) current_->timedOut_ = true;
    }
  }

  void OnTick() {
    const HWND dialog = FindDialog();
    if (dialog == nullptr || !IsWindowVisible(dialog) || running_) return;
    if (next_ < steps_.size()) {
      // A step may pump messages (a click on Scan): the ticks meanwhile run
      // the following steps, inside that loop.
      const Step step = steps_[next_];
      const std::size_t index = next_;
      running_ = true;
      const bool done = step(dialog);
      running_ = false;
      if (done && next_ == index) {
        ++next_;
        waited_ = 0;
        return;
      }
    }
    if (++waited_ > kPatienceTicks) {
      timedOut_ = true;
      DestroyWindow(dialog);
    }
  }

  static inline DialogScript* current_ = nullptr;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  int waited_ = 0;
  bool running_ = false;
  bool timedOut_ = false;
  UINT_PTR timer_ = 0;
};

inline HWND Item(HWND dialog, FormControl control) { return GetDlgItem(dialog, DialogItemId(control)); }

inline std::string Text(HWND window) {
  wchar_t buffer[512] = {};
  const int length = GetWindowTextW(window, buffer, 512);
  std::string text;
  for (int i = 0; i < length; ++i) text.push_back(static_cast<char>(buffer[i] < 0x80 ? buffer[i] : '?'));
  return text;
}

inline void PostKey(HWND target, UINT key) {
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

// A key pressed as a person would: it goes to the control with the focus.
inline void Press(UINT key) { PostKey(GetFocus(), key); }

// The node list's entries (ASCII in these tests).
inline std::vector<std::string> NodeEntries(HWND dialog) {
  const HWND list = Item(dialog, FormControl::NodeList);
  std::vector<std::string> entries;
  const auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t buffer[256] = {};
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
    std::string entry;
    for (const wchar_t* c = buffer; *c != L'\0'; ++c) entry.push_back(static_cast<char>(*c));
    entries.push_back(entry);
  }
  return entries;
}

// A step that runs an action and is done.
inline Step Do(std::function<void(HWND)> action) {
  return [action = std::move(action)](HWND dialog) {
    action(dialog);
    return true;
  };
}

// A click as the mouse gives it: the button's own click handling.
inline Step Click(FormControl button) {
  return Do([button](HWND dialog) { PostMessageW(Item(dialog, button), BM_CLICK, 0, 0); });
}

// Runs the thread's messages for a while, as the platform's event pump
// does during a scan: no dialog handling of its own.
inline void PumpFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

}  // namespace artnet::testing
