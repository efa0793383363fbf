#pragma once

#include <cstdint>
#include <span>

#include "protocol/conversions.h"

namespace artnet {

class ModuleState;

// Handles one received datagram from `sender`: answers ArtPoll, files
// ArtPollReply and passes changed channels of ArtDmx for the receive
// universe to the host. The socket's receive handler. Never lets a failure
// escape.
void HandleArtNetPacket(ModuleState& mod, std::span<const std::uint8_t> datagram, IPv4 sender);

}  // namespace artnet
