#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/interfaces/datagram_socket.h"

namespace artnet {

inline constexpr IPv4 kLimitedBroadcast = 0xFFFFFFFF;

// "a.b.c.d"
std::string DottedIPv4(IPv4 address);

// One IPv4 address of an interface that is up.
struct InterfaceAddress {
  IPv4 address = 0;
  IPv4 mask = 0;
  unsigned index = 0;  // 0 when the system no longer knows the interface
  bool loopback = false;
};

// The interface that Art-Net traffic to `destination` belongs on. Lighting
// networks are flat and console PCs multi-homed, so the interface whose
// network holds the destination wins; otherwise (255.255.255.255, a routed
// unicast) the one whose address the routing table picks as source;
// otherwise the first one that is not loopback; otherwise loopback. No
// destination (text that is no address) skips the first two.
std::optional<InterfaceAddress> ChooseLightingInterface(const std::vector<InterfaceAddress>& up,
                                                        std::optional<IPv4> destination,
                                                        const std::function<std::optional<IPv4>(IPv4)>& routedSource);

}  // namespace artnet
