// Fake dialog services and ArtPollReply bytes for the dialog's tests.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/node_table.h"
#include "protocol/node_config.h"
#include "ui/config_dialog_services.h"

namespace artnet::ui_testing {

struct PortSpec {
  std::uint8_t type = 0;  // PortTypes: 0x80 output, 0x40 input
  std::uint8_t swIn = 0;
  std::uint8_t swOut = 0;
};

// A 239-byte ArtPollReply with the fields the node table reads.
inline std::vector<std::uint8_t> PollReply(std::array<std::uint8_t, 4> ip, std::uint8_t netSwitch,
                                           std::uint8_t subSwitch, const std::string& shortName,
                                           std::uint16_t numPorts, std::array<PortSpec, 4> ports = {}) {
  std::vector<std::uint8_t> reply(239, 0);
  const std::string id = "Art-Net";
  std::copy(id.begin(), id.end(), reply.begin());
  reply[8] = 0x00;  // OpPollReply 0x2100, low byte first
  reply[9] = 0x21;
  std::copy(ip.begin(), ip.end(), reply.begin() + 10);
  reply[18] = netSwitch;
  reply[19] = subSwitch;
  std::copy_n(shortName.begin(), std::min<std::size_t>(shortName.size(), 18), reply.begin() + 26);
  reply[172] = static_cast<std::uint8_t>(numPorts >> 8);
  reply[173] = static_cast<std::uint8_t>(numPorts & 0xFF);
  for (std::size_t p = 0; p < 4; ++p) {
    reply[174 + p] = ports[p].type;
    reply[186 + p] = ports[p].swIn;
    reply[190 + p] = ports[p].swOut;
  }
  return reply;
}

class FakeDialogServices final : public ConfigDialogServices {
 public:
  ArtNetSettings settings{"10.99.0.255", 0, 0, 1};
  NodeTable table;                           // no entries until a scan resets it
  std::vector<std::vector<std::uint8_t>> replies;  // filed by each scan
  std::function<void()> duringScan;          // runs while the scan "waits"
  std::vector<std::string> pollReplies;      // destinations of SendPollReply
  int scans = 0;

  ArtNetSettings& Settings() override { return settings; }
  void ScanNodes() override {
    ++scans;
    table.Reset();
    for (const auto& reply : replies) table.AddNodeFromPollReply(reply);
    if (duringScan) duringScan();
  }
  const NodeTable& Nodes() const override { return table; }
  void SendPollReply(const std::string& destination) override { pollReplies.push_back(destination); }
};

}  // namespace artnet::ui_testing
