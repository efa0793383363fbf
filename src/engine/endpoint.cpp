#include "engine/endpoint.h"

#include <algorithm>

#include "engine/module_state.h"
#include "engine/transport.h"
#include "protocol/automation_error.h"
#include "protocol/packets.h"

namespace artnet {
namespace {

// A newer frame supersedes a waiting one whatever became of it, so the
// sequence never goes backwards on the wire.
void KeepIfBlocked(ModuleState& mod, Delivery delivery, int sendError, std::optional<IPv4> destination,
                   std::span<const std::uint8_t> packet) {
  if (delivery != Delivery::kKeepNewest) return;
  PendingDmx& pending = mod.Endpoint.Pending;
  pending.waiting = sendError == kSockErrWouldBlock && packet.size() <= pending.bytes.size();
  if (!pending.waiting) return;
  pending.destination = destination;
  std::copy(packet.begin(), packet.end(), pending.bytes.begin());
  pending.length = packet.size();
}

int Open(ModuleState& mod, DatagramSocket& socket, int port) {
  const int error = socket.Open(port);
  if (error == kSockOk) mod.Endpoint.OpenOn = port;
  return error;
}

int Close(ModuleState& mod, DatagramSocket& socket) {
  const int error = socket.Close();
  if (error == kSockOk) mod.Endpoint.OpenOn.reset();
  return error;
}

}  // namespace

void OpenArtNetSocket(ModuleState& mod) {
  if (mod.Ended || !mod.Network || mod.Endpoint.OpenOn) return;
  mod.Endpoint.NextPort = kArtNetPort;
  Open(mod, mod.Network->socket(), kArtNetPort);  // a port held elsewhere: the first send warns
}

void SendArtNetPacket(ModuleState& mod, const std::optional<IPv4> destination, std::span<const std::uint8_t> packet,
                      Delivery delivery) {
  if (mod.Ended || !mod.Network) return;
  DatagramSocket& socket = mod.Network->socket();
  EndpointState& endpoint = mod.Endpoint;
  int error = endpoint.OpenOn ? kSockOk : Open(mod, socket, endpoint.NextPort);
  const bool conflict = error == kSockErrAddressInUse;
  if (conflict) {
    if (!endpoint.PortInUseWarned) {
      // Marked before showing: sends inside the box's modal loop must not stack more boxes.
      endpoint.PortInUseWarned = true;
      mod.platform.Messages().ShowCritical(kPortInUseWarning);
      if (mod.Ended) return;  // the host ended the module inside the box's loop
    }
    // From a free port; a failure here is ignored. Sends inside the box's
    // loop may have opened the socket meanwhile.
    endpoint.NextPort = 0;
    error = endpoint.OpenOn ? kSockOk : Open(mod, socket, 0);
  }
  if (error == kSockOk) error = destination ? socket.SendTo(*destination, kArtNetPort, packet) : kSockErrHostNotFound;
  KeepIfBlocked(mod, delivery, error, destination, packet);
  if (conflict) return;
  if (endpoint.OpenOn.value_or(endpoint.NextPort) == kArtNetPort) {
    endpoint.PortInUseWarned = false;  // back on the Art-Net port: warn again at the next conflict
  } else {
    Close(mod, socket);  // the next send tries the Art-Net port again
    endpoint.NextPort = kArtNetPort;
  }
}

void OnSocketWritable(ModuleState& mod) {
  PendingDmx& pending = mod.Endpoint.Pending;
  if (!pending.waiting) return;
  pending.waiting = false;
  // Copied out: the send may keep this frame again in the same place.
  const ArtDmxPacket bytes = pending.bytes;
  SendArtNetPacket(mod, pending.destination, std::span<const std::uint8_t>(bytes.data(), pending.length),
                   Delivery::kKeepNewest);
}

void CloseArtNetSocket(ModuleState& mod) {
  mod.Endpoint.Pending.waiting = false;  // output is off; the values stay in the channel buffer
  if (!mod.Network) return;
  const int error = Close(mod, mod.Network->socket());
  if (error != 0) throw AutomationError(error, "The socket could not be closed");
}

void EndNetworkWork(ModuleState& mod, HelperOnEnd helper) {
  mod.Ended = true;
  mod.Enabled = false;
  mod.Endpoint.Pending.waiting = false;
  if (mod.Network) mod.Network->End();
  mod.Endpoint.OpenOn.reset();
  if (helper == HelperOnEnd::kAbandon) {
    mod.Input.Helper.Abandon();
  } else {
    mod.Input.Helper.Reset(nullptr);  // last: the host's Release may run anything
  }
}

}  // namespace artnet
