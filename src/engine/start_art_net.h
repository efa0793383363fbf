#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace artnet {

class ModuleState;

// Resets the node table, stores the settings, opens the endpoint, captures
// the local address and announces the plug-in with one ArtPollReply.
void StartArtNet(ModuleState& mod, std::uint8_t subNet, std::uint8_t sendUniverse, std::uint8_t receiveUniverse,
                 const std::string& broadcastAddress);

// Where loopback stood in for the local address at Enable (no link was up),
// captures it again; called by each refresh until a real address exists.
void RecaptureStandInLocalAddress(ModuleState& mod);

// Stores the four octets of a dotted local address, one at a time. Fewer
// than four parts -> subscript out of range (9); a part above 255 ->
// overflow (6), with the earlier octets already stored.
void StoreLocalAddress(const std::string& text, std::array<std::uint8_t, 4>& octets);

}  // namespace artnet
