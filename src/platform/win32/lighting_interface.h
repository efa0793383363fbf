#pragma once

#include <cstdint>
#include <optional>

namespace artnet::win32 {

struct NetworkInterface {
  std::uint32_t address = 0;  // IPv4, network byte order
  unsigned long index = 0;    // the interface's index
};

// The up IPv4 interface that Art-Net traffic to `destination` (network byte
// order) belongs on. Lighting networks are flat and console PCs multi-homed,
// so the interface whose network holds the destination wins; otherwise
// (255.255.255.255, a routed unicast) the one the routing table picks;
// otherwise the first one up that is not loopback; otherwise loopback. A null
// destination (text that is no address) skips the first two. Empty when no
// IPv4 interface is up. Needs Winsock started.
std::optional<NetworkInterface> FindLightingInterface(const std::uint32_t* destination);

}  // namespace artnet::win32
