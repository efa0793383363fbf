#include "engine/module_state.h"

#include "engine/transport.h"

namespace artnet {

ModuleState::ModuleState(Platform& platform_) : platform(platform_), clock(platform_.GetClock()) {
  Output.Buffer.reserve(kMaxDmxChannels);  // growth up to a full universe never reallocates
}

ModuleState::~ModuleState() = default;

}  // namespace artnet
