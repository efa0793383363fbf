#pragma once

#include <cstdint>

namespace artnet {

class ModuleState;

// Per-instance stamps of the last immediate send, in clock seconds (single precision).
struct PacingStamps {
  float LastSendTime = 0;
  float NextSendTime = 0;
};

// Stores a channel value and sends it at once, or within the window after
// the last immediate send arms the one-shot flush. Returns false for a
// channel above 512; throws AutomationError for a bad channel or value.
bool SetChannel(ModuleState& mod, PacingStamps& stamps, std::int32_t channel, std::int32_t value);

// Ticks of the one-shot flush timer and of the periodic refresh timer.
void OnFlushTimer(ModuleState& mod);
void OnRefreshTimer(ModuleState& mod);

}  // namespace artnet
