#pragma once

#include <cstdint>
#include <string>

namespace artnet {

class ModuleState;

// Enable's start-up: resets the node table, stores the settings, connects
// the network (connection.h), opens the endpoint, captures the local address
// and announces the plug-in with one ArtPollReply.
void StartArtNet(ModuleState& mod, std::uint8_t subNet, std::uint8_t sendUniverse, std::uint8_t receiveUniverse,
                 const std::string& broadcastAddress);

}  // namespace artnet
