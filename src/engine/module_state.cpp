#include "engine/module_state.h"

#include "engine/endpoint.h"
#include "engine/pacing.h"
#include "engine/transport.h"

namespace artnet {

ModuleState::ModuleState(Platform& platform_) : platform(platform_) {
  Output.Buffer.reserve(kMaxDmxChannels);  // growth up to a full universe never reallocates
}

ModuleState::~ModuleState() = default;

Transport& ModuleState::transport() {
  if (!transport_) {
    transport_ = std::make_unique<Transport>(platform);
    Transport& transport = *transport_;
    ModuleState& mod = *this;
    transport.socket().SetDataArrivalHandler([&mod] { OnDataArrival(mod); });
    transport.socket().SetWritableHandler([&mod] { OnSocketWritable(mod); });
    transport.flushTimer().SetTickHandler([&mod] { OnFlushTimer(mod); });
    transport.refreshTimer().SetTickHandler([&mod] { OnRefreshTimer(mod); });
    if (!Ended) transport.refreshTimer().SetEnabled(true);
  }
  return *transport_;
}

}  // namespace artnet
