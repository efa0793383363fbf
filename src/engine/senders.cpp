#include "engine/senders.h"

#include "engine/endpoint.h"
#include "engine/module_state.h"
#include "protocol/packets.h"

namespace artnet {

void SendArtPoll(ModuleState& mod, std::optional<IPv4> destination) {
  const ArtPollPacket packet = BuildArtPoll();
  SendArtNetPacket(mod, destination, packet);
}

void SendPollReply(ModuleState& mod, std::optional<IPv4> destination) {
  const ArtPollReplyPacket packet = BuildArtPollReply(mod.Settings, mod.LocalAddress);
  SendArtNetPacket(mod, destination, packet);
}

void SendArtDmx(ModuleState& mod, std::uint8_t universe, std::span<const std::uint8_t> channels) {
  mod.Output.Sequence = NextSequence(mod.Output.Sequence);
  ArtDmxPacket packet;  // on the stack: a nested send builds its own
  const std::size_t length = BuildArtDmx(packet, mod.Output.Sequence, mod.Settings.SubNet, universe, channels);
  SendArtNetPacket(mod, mod.Settings.BroadcastAddress.Address(), std::span<const std::uint8_t>(packet.data(), length),
                   Delivery::kKeepNewest);
}

}  // namespace artnet
