#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace artnet::win32 {

// Receives what the hidden window routes to it.
class WindowClient {
 public:
  virtual void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  // For timers: the queue has been too busy for WM_TIMER, which the system
  // makes only when no posted message waits; run now if overdue.
  virtual void OnQueueBusy(double /*now*/) {}

 protected:
  ~WindowClient() = default;
};

// A SetTimer timer of a window, killed when its owner goes; false when the
// system refused it.
class WindowTimer {
 public:
  WindowTimer() = default;
  WindowTimer(void* window, std::uintptr_t id, unsigned milliseconds);
  ~WindowTimer() { Reset(); }
  WindowTimer(WindowTimer&& other) noexcept
      : window_(std::exchange(other.window_, nullptr)), id_(std::exchange(other.id_, 0)) {}
  WindowTimer& operator=(WindowTimer&& other) noexcept;
  explicit operator bool() const { return id_ != 0; }
  std::uintptr_t id() const { return id_; }
  void Reset();

 private:
  void* window_ = nullptr;
  std::uintptr_t id_ = 0;
};

class StepAside;

// Messages the hidden window routes, with the key each is routed by.
inline constexpr unsigned kTimerMessage = 0x0113;       // WM_TIMER, by timer id
inline constexpr unsigned kSocketMessage = 0x8000 + 1;  // WM_APP + 1, by socket (WSAAsyncSelect)
inline constexpr unsigned kResumeMessage = 0x8000 + 2;  // WM_APP + 2, by client key: "carry on reading"

// A hidden message-only window, made on first use by the thread that uses
// it and owned by its platform. Timer ticks and socket events arrive through
// that thread's message loop and are routed to the client registered for
// their key; a message whose key has no client any more (a stale tick of a
// killed timer, an event of a closed socket) is dropped. While a message is
// routed, the window's owner is kept alive: a host may end everything of
// ours inside a handler's call out to it. End() destroys the window for good;
// after it nothing is routed, and what its clients still ask of it does
// nothing. The object may be destroyed from any thread once it has ended, or
// once its thread has ended.
//
// Under a steady flood a socket notification is always queued, so the system
// never makes WM_TIMER; socket messages therefore also give the timers their
// turn (OnQueueBusy), checked at most once per kBusyCheckSeconds.
class MessageWindow {
 public:
  MessageWindow();
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // Kept alive while a message is routed.
  void SetOwner(std::weak_ptr<const void> owner) { owner_ = std::move(owner); }
  // The window, created by the calling thread on first use; null when it
  // cannot be created or has ended.
  void* Handle();
  // Destroys the window on its own thread and ends any step aside.
  void End();
  // A key no other client has had, for timer ids and resume messages.
  std::uintptr_t NewKey() { return ++lastKey_; }
  void Attach(unsigned message, std::uintptr_t key, WindowClient* client);
  void Detach(unsigned message, std::uintptr_t key);
  // Posts kResumeMessage for `key`; false when the queue refused it.
  bool PostResume(std::uintptr_t key);

  // A socket read under a flood always leaves the next read notification
  // queued, and the system makes input, paint and timer messages only for a
  // queue without posted messages: the host's own window would freeze. True
  // while the sockets step aside, and when such messages wait and the
  // sockets have read for kYieldAfterSeconds since they last stepped aside;
  // the caller then leaves its notification unread and calls YieldTo.
  bool OthersStarved();
  // Posts kResumeMessage for `key`, and for every other socket stepping aside
  // meanwhile, once the thread's loop has taken one of the messages that
  // waited, or has gone on for kLongestYieldSeconds with others (or after the
  // shortest timer, should no message come).
  void YieldTo(std::uintptr_t key);
  // The yield's hook: the thread's loop took `message` (removed) or peeked at it.
  void OnLoopTook(unsigned message, bool removed);
  bool SteppingAside() const { return stepAside_ != nullptr; }

  // Routes one message; the window procedure's body.
  void Route(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

  // For tests: act as if the system refused the hook of every step aside.
  static void RefuseHooks(bool refuse);

  static constexpr double kBusyCheckSeconds = 0.001;
  static constexpr double kYieldAfterSeconds = 0.05;
  static constexpr double kLongestYieldSeconds = 0.005;

 private:
  void RunStarvedTimers();
  void EndYield();

  void* window_ = nullptr;
  bool ended_ = false;
  std::weak_ptr<const void> owner_;
  std::uintptr_t lastKey_ = 0;
  double lastBusyCheck_ = 0;
  double lastStarvedCheck_ = 0;
  double lastYield_ = 0;
  std::unique_ptr<StepAside> stepAside_;  // while the sockets wait for the loop
  std::map<std::pair<unsigned, std::uintptr_t>, WindowClient*> clients_;
};

}  // namespace artnet::win32
