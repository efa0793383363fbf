#pragma once

#include <memory>

#include "platform/interfaces/platform.h"

namespace artnet {

// The plug-in's one UDP socket and its two send timers: the one-shot flush
// that sends a coalesced burst, and the periodic refresh. Created on first
// use and kept as long as the module; whoever composes it wires the handlers.
class Transport {
 public:
  static constexpr int kFlushIntervalMs = 50;
  static constexpr int kRefreshIntervalMs = 4000;

  explicit Transport(Platform& platform);

  SocketControl& socket() { return *socket_; }
  Timer& flushTimer() { return *flushTimer_; }
  Timer& refreshTimer() { return *refreshTimer_; }

 private:
  std::unique_ptr<SocketControl> socket_;
  std::unique_ptr<Timer> flushTimer_;
  std::unique_ptr<Timer> refreshTimer_;
};

}  // namespace artnet
