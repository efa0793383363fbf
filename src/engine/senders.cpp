#include "engine/senders.h"

#include "engine/mod_main.h"
#include "engine/packets.h"
#include "net/endpoint.h"

namespace artnet {

void SendArtPoll(ModMain& mod, const std::string& destination) {
  const ArtPollPacket packet = BuildArtPoll();
  SendArtNetPacket(mod, destination, packet);
}

void SendPollReply(ModMain& mod, const std::string& destination) {
  const ArtPollReplyPacket packet = BuildArtPollReply(mod.Settings, mod.LocalAddress);
  SendArtNetPacket(mod, destination, packet);
}

void SendArtDmx(ModMain& mod, std::uint8_t universe, std::span<const std::uint8_t> channels) {
  mod.SequenceCounter = NextSequence(mod.SequenceCounter);
  ArtDmxPacket packet;  // on the stack: a nested send builds its own
  const std::size_t length = BuildArtDmx(packet, mod.SequenceCounter, mod.Settings.SubNet, universe, channels);
  SendArtNetPacket(mod, mod.Settings.BroadcastAddress, std::span<const std::uint8_t>(packet.data(), length),
                   Delivery::kKeepNewest);
}

}  // namespace artnet
