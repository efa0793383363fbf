#include "engine/endpoint.h"

#include <algorithm>

#include "engine/module_state.h"
#include "engine/transport.h"
#include "protocol/automation_error.h"
#include "protocol/conversions.h"
#include "protocol/packets.h"

namespace artnet {
namespace {

// Remembers the last failure of a sequence of steps, each of which runs regardless.
struct LastFailure {
  int error = 0;
  void operator()(int stepError) {
    if (stepError != 0) error = stepError;
  }
};

// A newer frame supersedes a waiting one whatever became of it, so the
// sequence never goes backwards on the wire.
void KeepIfBlocked(ModuleState& mod, Delivery delivery, int sendError, const std::string& remoteHost,
                   std::span<const std::uint8_t> packet) {
  if (delivery != Delivery::kKeepNewest) return;
  PendingDmx& pending = mod.Endpoint.Pending;
  pending.waiting = sendError == kSockErrWouldBlock && packet.size() <= pending.bytes.size();
  if (!pending.waiting) return;
  pending.destination = remoteHost;
  std::copy(packet.begin(), packet.end(), pending.bytes.begin());
  pending.length = packet.size();
}

}  // namespace

void OpenArtNetSocket(ModuleState& mod) {
  if (mod.Ended || !mod.Network) return;
  SocketControl& socket = mod.Network->socket();
  int state = kSockStateClosed;
  if (socket.GetState(state) == 0 && (state == kSockStateOpen || state == kSockStateConnected)) return;
  socket.Close();
  socket.SetLocalPort(kArtNetPort);
  socket.SetRemotePort(kArtNetPort);
  socket.SetRemoteHost(mod.Settings.BroadcastAddress);
  socket.Bind(kArtNetPort);
}

void SendArtNetPacket(ModuleState& mod, const std::string destination, std::span<const std::uint8_t> packet,
                      Delivery delivery) {
  if (mod.Ended || !mod.Network) return;
  SocketControl& socket = mod.Network->socket();
  // The control takes plain dotted text only; zero-padded parts and stray
  // blanks are what people type, so they are made plain here.
  ParsedDestination& parsed = mod.Endpoint.LastDestination;
  if (!parsed.known || parsed.text != destination) {
    parsed.address = ParseIPv4(destination);
    parsed.plain = parsed.address ? IPv4ToText(*parsed.address) : destination;
    parsed.text = destination;
    parsed.known = true;
  }
  // Copied: a send made inside the warning box below may parse another destination.
  const std::string remoteHost = parsed.plain;
  LastFailure failure;
  failure(socket.SetRemotePort(kArtNetPort));
  failure(socket.SetRemoteHost(remoteHost));
  int sendError = socket.SendData(packet);
  failure(sendError);

  if (failure.error == kSockErrAddressInUse) {
    if (!mod.Endpoint.PortInUseWarned) {
      // Marked before showing: sends inside the box's modal loop must not stack more boxes.
      mod.Endpoint.PortInUseWarned = true;
      mod.platform.Messages().ShowCritical(kPortInUseWarning);
      if (mod.Ended) return;  // the host ended the module inside the box's loop
    }
    // Sends made inside the box's modal loop may have pointed the control elsewhere.
    socket.SetRemotePort(kArtNetPort);
    socket.SetRemoteHost(remoteHost);
    socket.SetLocalPort(0);
    sendError = socket.SendData(packet);  // from a free port; a failure here is ignored
    KeepIfBlocked(mod, delivery, sendError, remoteHost, packet);
    return;
  }
  KeepIfBlocked(mod, delivery, sendError, remoteHost, packet);
  int localPort = 0;
  if (socket.GetLocalPort(localPort) != 0 || localPort == kArtNetPort) {
    mod.Endpoint.PortInUseWarned = false;  // back on the Art-Net port: warn again at the next conflict
  } else {
    socket.Close();  // the next send tries the Art-Net port again
    socket.SetLocalPort(kArtNetPort);
  }
}

void OnSocketWritable(ModuleState& mod) {
  PendingDmx& pending = mod.Endpoint.Pending;
  if (!pending.waiting) return;
  pending.waiting = false;
  // Copied out: the send may keep this frame again in the same place.
  const std::string destination = pending.destination;
  const ArtDmxPacket bytes = pending.bytes;
  SendArtNetPacket(mod, destination, std::span<const std::uint8_t>(bytes.data(), pending.length),
                   Delivery::kKeepNewest);
}

void CloseArtNetSocket(ModuleState& mod) {
  mod.Endpoint.Pending.waiting = false;  // output is off; the values stay in the channel buffer
  if (!mod.Network) return;
  const int error = mod.Network->socket().Close();
  if (error != 0) throw AutomationError(error, "The socket could not be closed");
}

void EndNetworkWork(ModuleState& mod, HelperOnEnd helper) {
  mod.Ended = true;
  mod.Enabled = false;
  mod.Endpoint.Pending.waiting = false;
  if (mod.Network) mod.Network->End();
  if (helper == HelperOnEnd::kAbandon) {
    mod.Input.Helper.Abandon();
  } else {
    mod.Input.Helper.Reset(nullptr);  // last: the host's Release may run anything
  }
}

}  // namespace artnet
