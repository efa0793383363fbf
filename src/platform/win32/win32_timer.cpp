#include "platform/win32/win32_timer.h"

#include <windows.h>

#include "lumenstage/automation_errors.h"
#include "platform/win32/win32_clock.h"

namespace artnet {

Win32Timer::~Win32Timer() { Disarm(); }

bool Win32Timer::Arm() {
  Disarm();
  void* const window = window_->Handle();
  if (window == nullptr) return false;
  id_ = window_->NewKey();
  window_->Attach(win32::kTimerMessage, id_, this);
  // A zero interval still has to fire; SetTimer raises it to its minimum.
  system_ = win32::WindowTimer(window, id_, static_cast<unsigned>(interval_));
  if (!system_) {
    window_->Detach(win32::kTimerMessage, id_);
    id_ = 0;
    return false;
  }
  dueAt_ = win32::MonotonicSeconds() + interval_ / 1000.0;
  return true;
}

void Win32Timer::Disarm() {
  if (id_ == 0) return;
  system_.Reset();
  window_->Detach(win32::kTimerMessage, id_);
  id_ = 0;
}

void Win32Timer::SetInterval(int milliseconds) {
  interval_ = milliseconds < 0 ? 0 : milliseconds;
  if (enabled_) Arm();  // a running timer restarts with the new interval
}

int Win32Timer::SetEnabled(bool enabled) {
  if (!enabled) {
    enabled_ = false;
    Disarm();
    return 0;
  }
  if (enabled_) return 0;  // keep the running interval: no restart
  if (!Arm()) return lumenstage::kErrInvalidProcedureCall.number;
  enabled_ = true;
  return 0;
}

void Win32Timer::OnWindowMessage(unsigned, std::uintptr_t wParam, std::intptr_t) {
  if (!enabled_ || wParam != id_) return;
  dueAt_ = win32::MonotonicSeconds() + interval_ / 1000.0;
  handler_.Run();
}

void Win32Timer::OnQueueBusy(double now) {
  if (!enabled_ || now < dueAt_) return;
  // Re-armed, so the system's own tick, still owed for this period, is dropped.
  if (!Arm()) return;
  handler_.Run();
}

void Win32Timer::SetTickHandler(std::function<void()> handler) { handler_.Set(std::move(handler)); }

}  // namespace artnet
