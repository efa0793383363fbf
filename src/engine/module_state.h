#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/host_helper_ref.h"
#include "engine/node_table.h"
#include "engine/poll_limiter.h"
#include "platform/interfaces/platform.h"
#include "protocol/node_config.h"
#include "protocol/packets.h"

namespace artnet {

class Transport;

// The send universe's frame as the host set it, and the ArtDmx sequence.
struct ChannelOutput {
  // Slot k holds channel k + 1; does not exist until the first Init or SetChannel.
  std::vector<std::uint8_t> Buffer;
  bool Exists = false;
  std::int32_t HighestChannel = 0;
  std::uint8_t Sequence = 0;
};

// The receive universe's last frame, and what the host has been told of it.
struct DmxInput {
  HostHelperRef Helper;  // the host's helper object from Init
  std::array<std::uint8_t, kMaxDmxChannels> Buffer{};
  std::array<std::uint8_t, kMaxDmxChannels> Shadow{};
  // Calls the host took, per channel: a failed call looks here to see whether
  // a nested packet told the host this channel meanwhile.
  std::array<std::uint32_t, kMaxDmxChannels> Told{};
  // The first Settled channels of Buffer and Shadow were found equal and
  // neither has been written since: a frame repeating them changes nothing,
  // which one compare shows. 0 when nothing is known.
  std::size_t Settled = 0;
};

// An ArtDmx the socket could not take when it was sent; it leaves as soon as
// the socket can take it, unless a newer frame leaves first.
struct PendingDmx {
  bool waiting = false;
  std::optional<IPv4> destination;
  ArtDmxPacket bytes{};
  std::size_t length = 0;
};

// What sending remembers from one datagram to the next.
struct EndpointState {
  // The port the socket is open on; none while it is closed.
  std::optional<int> OpenOn;
  // The port the next open asks for: a free one (0) until the Art-Net port
  // was asked for, and again for the one send after a conflict warned.
  int NextPort = 0;
  // The port-in-use warning was shown and is not yet re-armed.
  bool PortInUseWarned = false;
  PendingDmx Pending;
};

// Module-wide state: one copy per loaded plug-in, shared by every
// clsOutputDriver instance. Plain data: the engine's routines are free
// functions over it, and Connect (connection.h) wires its network.
class ModuleState {
 public:
  explicit ModuleState(Platform& platform);
  ~ModuleState();
  ModuleState(const ModuleState&) = delete;
  ModuleState& operator=(const ModuleState&) = delete;

  Platform& platform;
  // The platform's clock, looked up once: the pacing reads it twice per call.
  Clock& clock;

  ArtNetSettings Settings;
  bool Enabled = false;
  // The module's work has ended for good (EndNetworkWork): nothing opens the
  // socket, arms a timer or calls the host again.
  bool Ended = false;
  LocalAddressRecord LocalAddress;
  // Loopback stood in for the address at Enable; the refresh looks again.
  bool LocalAddressIsStandIn = false;

  ChannelOutput Output;
  DmxInput Input;
  EndpointState Endpoint;
  NodeTable Nodes;
  PollAnswerLimiter PollAnswers;

  // The socket and the timers; none until Connect made them.
  std::unique_ptr<Transport> Network;
  bool HasTransport() const { return Network != nullptr; }
};

}  // namespace artnet
