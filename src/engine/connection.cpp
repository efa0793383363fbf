#include "engine/connection.h"

#include <memory>

#include "engine/dispatcher.h"
#include "engine/endpoint.h"
#include "engine/module_state.h"
#include "engine/pacing.h"
#include "engine/transport.h"

namespace artnet {

Transport& Connect(ModuleState& mod) {
  if (mod.Network) return *mod.Network;
  mod.Network = std::make_unique<Transport>(mod.platform);
  Transport& network = *mod.Network;
  network.socket().SetReceiveHandler(
      [&mod](std::span<const std::uint8_t> datagram, IPv4 sender) { HandleArtNetPacket(mod, datagram, sender); });
  network.socket().SetWritableHandler([&mod] { OnSocketWritable(mod); });
  network.SetFlushHandler([&mod] { OnFlushTimer(mod); });
  network.SetRefreshHandler([&mod] { OnRefreshTimer(mod); });
  if (!mod.Ended) network.StartRefresh();
  return network;
}

}  // namespace artnet
