#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace artnet {

// The node's configuration: the four persisted settings.
struct ArtNetSettings {
  std::string BroadcastAddress;  // dotted IPv4 text
  std::int32_t SubNet = 0;
  std::int32_t SendUniverse = 0;     // universe the plug-in transmits on
  std::int32_t ReceiveUniverse = 0;  // universe whose ArtDmx goes to the host
};

inline constexpr std::uint16_t kArtNetPort = 6454;  // 0x1936

// The local IPv4 address, first octet first, and the Art-Net port once filled.
struct LocalAddressRecord {
  std::array<std::uint8_t, 4> ip{};
  std::uint16_t port = 0;
};

}  // namespace artnet
