#include "engine/discovery.h"

#include <string>

#include "engine/module_state.h"
#include "engine/senders.h"

namespace artnet {

namespace {
constexpr double kScanSeconds = 4.0;
}

void ScanNodes(ModuleState& mod) {
  EventPump& pump = mod.platform.Pump();
  Clock& clock = mod.clock;
  pump.DoEvents();  // let the caller's "Scanning..." be drawn first
  mod.Nodes.Reset();
  SendArtPoll(mod, mod.Settings.BroadcastAddress.Address());
  const double pollSent = clock.MonotonicSeconds();
  do {
    pump.DoEvents();
    pump.Sleep(1);
  } while (clock.MonotonicSeconds() - pollSent <= kScanSeconds);
}

}  // namespace artnet
