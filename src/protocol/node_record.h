#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace artnet {

// One Art-Net node as it declared itself in its ArtPollReply.
struct NodeRecord {
  std::string IPAddress;
  std::int32_t NetSubSwitch = 0;
  std::string ShortName;
  std::string LongName;
  std::string NodeReport;
  std::int32_t NumPorts = 0;
  std::array<bool, 4> PortIsOutput{};
  std::array<std::int32_t, 4> PortUniverse{};

  bool IsEmpty() const { return ShortName.empty() && IPAddress.empty() && NumPorts == 0; }
};

// NetSubSwitch of a 239-byte ArtPollReply: NetSwitch * 256 + SubSwitch.
std::int32_t ReadNetSubSwitch(std::span<const std::uint8_t> reply);
// The record of a 239-byte ArtPollReply.
NodeRecord ReadNodeRecord(std::span<const std::uint8_t> reply);

}  // namespace artnet
