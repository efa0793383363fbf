#pragma once

#include <netinet/in.h>

#include <optional>

namespace artnet {

struct NetworkInterface {
  in_addr address{};
  unsigned index = 0;  // 0 when the kernel no longer knows the name
};

// The up IPv4 interface that Art-Net traffic to `destination` belongs on.
// Lighting networks are flat and console PCs multi-homed, so the interface
// whose network holds the destination wins; otherwise (255.255.255.255, a
// routed unicast) the one the routing table picks; otherwise the first one
// up that is not loopback; otherwise loopback. A null destination (text that
// is no address) skips the first two. Empty when no IPv4 interface is up.
std::optional<NetworkInterface> FindLightingInterface(const in_addr* destination);

}  // namespace artnet
