#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "protocol/conversions.h"

namespace artnet {

class ModuleState;

void SendArtPoll(ModuleState& mod, std::optional<IPv4> destination);
// Our ArtPollReply, built from the current settings and local address.
void SendPollReply(ModuleState& mod, std::optional<IPv4> destination);
// One ArtDmx of `channels` on `universe`, to the broadcast address. The
// channels are copied into the packet before anything can re-enter.
void SendArtDmx(ModuleState& mod, std::uint8_t universe, std::span<const std::uint8_t> channels);

}  // namespace artnet
