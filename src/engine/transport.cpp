#include "engine/transport.h"

namespace artnet {

Transport::Transport(Platform& platform)
    : socket_(platform.CreateSocketControl()),
      flushTimer_(platform.CreateTimer()),
      refreshTimer_(platform.CreateTimer()) {
  socket_->SetLocalPort(0);  // a send before the first open goes out from a free port
  flushTimer_->SetInterval(kFlushIntervalMs);
  refreshTimer_->SetInterval(kRefreshIntervalMs);
}

}  // namespace artnet
