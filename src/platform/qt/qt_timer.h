#pragma once

#include <functional>
#include <memory>

#include "platform/timer.h"

class QTimer;

namespace artnet {

// A periodic QTimer. Precise: the coarse default fires up to 5 % early,
// which would break the send pacing.
class QtTimer final : public Timer {
 public:
  QtTimer();
  ~QtTimer() override;
  QtTimer(const QtTimer&) = delete;
  QtTimer& operator=(const QtTimer&) = delete;

  void SetInterval(int milliseconds) override;
  int SetEnabled(bool enabled) override;
  bool Enabled() const override;
  void SetTickHandler(std::function<void()> handler) override;

 private:
  std::unique_ptr<QTimer> timer_;
  std::shared_ptr<const std::function<void()>> handler_;
};

}  // namespace artnet
