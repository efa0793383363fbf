#include "engine/start_art_net.h"

#include "engine/connection.h"
#include "engine/endpoint.h"
#include "engine/local_address.h"
#include "engine/module_state.h"
#include "engine/senders.h"

namespace artnet {

void StartArtNet(ModuleState& mod, std::uint8_t subNet, std::uint8_t sendUniverse, std::uint8_t receiveUniverse,
                 const std::string& broadcastAddress) {
  mod.Nodes.Reset();
  mod.Settings.SubNet = subNet;
  mod.Settings.SendUniverse = sendUniverse;
  mod.Settings.ReceiveUniverse = receiveUniverse;
  mod.Settings.BroadcastAddress = broadcastAddress;
  Connect(mod);
  OpenArtNetSocket(mod);
  CaptureLocalAddress(mod);
  SendPollReply(mod, mod.Settings.BroadcastAddress.Address());
}

}  // namespace artnet
