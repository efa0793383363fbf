#include "engine/transport.h"

namespace artnet {

Transport::Transport(Platform& platform)
    : socket_(platform.CreateDatagramSocket()),
      flushTimer_(platform.CreateTimer()),
      refreshTimer_(platform.CreateTimer()) {
  flushTimer_->SetInterval(kFlushIntervalMs);
  refreshTimer_->SetInterval(kRefreshIntervalMs);
}

}  // namespace artnet
