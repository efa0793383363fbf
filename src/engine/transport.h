#pragma once

#include <functional>
#include <memory>

#include "platform/interfaces/platform.h"

namespace artnet {

// The plug-in's one UDP socket and its two send timers: the one-shot flush
// that sends a coalesced burst, and the periodic refresh. Made and wired by
// Connect (connection.h); kept as long as the module.
class Transport {
 public:
  static constexpr int kFlushIntervalMs = 50;
  static constexpr int kRefreshIntervalMs = 4000;

  explicit Transport(Platform& platform);

  DatagramSocket& socket() { return *socket_; }

  void SetFlushHandler(std::function<void()> handler) { flushTimer_->SetTickHandler(std::move(handler)); }
  void SetRefreshHandler(std::function<void()> handler) { refreshTimer_->SetTickHandler(std::move(handler)); }
  int StartRefresh() { return refreshTimer_->SetEnabled(true); }

  // The flush is armed by SetChannel and disarmed only by its own tick, so
  // the transport knows when it is pending: the host's many calls inside the
  // 40 ms window then cost no call on the platform's timer.
  bool FlushArmed() const { return flushArmed_; }
  int ArmFlush() {
    if (flushArmed_ || ended_) return 0;
    const int error = flushTimer_->SetEnabled(true);
    flushArmed_ = error == 0;
    return error;
  }
  void DisarmFlush() {
    flushArmed_ = false;
    flushTimer_->SetEnabled(false);
  }
  // For good: the socket closed, both timers stopped, nothing re-arms them.
  void End() {
    ended_ = true;
    DisarmFlush();
    refreshTimer_->SetEnabled(false);
    socket_->Close();
  }

 private:
  bool flushArmed_ = false;
  bool ended_ = false;
  std::unique_ptr<DatagramSocket> socket_;
  std::unique_ptr<Timer> flushTimer_;
  std::unique_ptr<Timer> refreshTimer_;
};

}  // namespace artnet
