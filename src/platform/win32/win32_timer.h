#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/event_handler.h"
#include "platform/interfaces/timer.h"
#include "platform/win32/message_window.h"

namespace artnet {

// A periodic timer on the hidden window (SetTimer), ticking through the
// thread's message loop. Each arming gets a fresh timer id, so a tick that
// was already due when the timer was disarmed or re-armed finds no client
// and is dropped.
class Win32Timer : public Timer, private win32::WindowClient {
 public:
  // On `window`, which outlives the timer.
  explicit Win32Timer(win32::MessageWindow& window) : window_(&window) {}
  ~Win32Timer() override;
  Win32Timer(const Win32Timer&) = delete;
  Win32Timer& operator=(const Win32Timer&) = delete;

  void SetInterval(int milliseconds) override;
  int SetEnabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }
  void SetTickHandler(std::function<void()> handler) override;

 private:
  bool Arm();
  void Disarm();
  void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void OnQueueBusy(double now) override;

  win32::MessageWindow* window_;
  std::uintptr_t id_ = 0;  // of the current arming; 0 while disarmed
  win32::WindowTimer system_;
  int interval_ = 0;
  double dueAt_ = 0;  // the next tick, on the performance counter
  bool enabled_ = false;
  EventHandler<> handler_;
};

}  // namespace artnet
