#pragma once

#include <functional>
#include <memory>

#include "platform/core/event_handler.h"
#include "platform/interfaces/timer.h"

class QSocketNotifier;

namespace artnet {

// A periodic timer on a Linux timerfd, watched by a QSocketNotifier.
// Arming it is one timerfd_settime and allocates nothing, where QTimer::start
// allocates a timer record each time (one per deferred batch of sends). The
// timerfd is monotonic and exact: QTimer's coarse default fires up to 5 %
// early, which would break the send pacing.
class QtTimer final : public Timer {
 public:
  QtTimer();
  ~QtTimer() override;
  QtTimer(const QtTimer&) = delete;
  QtTimer& operator=(const QtTimer&) = delete;

  void SetInterval(int milliseconds) override;
  int SetEnabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }
  void SetTickHandler(std::function<void()> handler) override;

 private:
  void Arm();  // for the interval while enabled, else disarmed
  void OnExpired();

  int fd_ = -1;
  // Created at the first enabling, when the thread's event loop exists; then
  // left watching: a disarmed timerfd never becomes readable.
  QSocketNotifier* notifier_ = nullptr;
  int interval_ = 0;
  bool enabled_ = false;
  int tickDepth_ = 0;
  EventHandler<> handler_;
  // Lets a tick notice that its handler destroyed the timer.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace artnet
