#pragma once

#include <cstdint>
#include <span>

namespace artnet {

class ModuleState;

// Handles one received datagram: answers ArtPoll, files ArtPollReply and
// passes changed channels of ArtDmx for the receive universe to the host.
// Never lets a failure escape.
void HandleArtNetPacket(ModuleState& mod, std::span<const std::uint8_t> datagram);

// The socket's data-arrival handler: reads the datagram and handles it.
void OnDataArrival(ModuleState& mod);

}  // namespace artnet
