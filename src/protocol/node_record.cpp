#include "protocol/node_record.h"

#include <string_view>

#include "protocol/packets.h"

namespace artnet {
namespace {

namespace r = poll_reply;

std::string DottedAddress(std::span<const std::uint8_t> reply) {
  std::string text;
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) text += '.';
    text += std::to_string(reply[r::IP + i]);
  }
  return text;
}

std::string TextField(std::span<const std::uint8_t> reply, std::size_t offset, std::size_t width) {
  const std::string_view field(reinterpret_cast<const char*>(reply.data() + offset), width);
  return std::string(StripNull(field));
}

// Both halves are taken unsigned, so a NetSwitch or NumPortsHi of 0x80 or
// more still yields a usable value (up to 65535).
std::int32_t Word(std::span<const std::uint8_t> reply, std::size_t hi, std::size_t lo) {
  return reply[hi] * 256 + reply[lo];
}

}  // namespace

std::int32_t ReadNetSubSwitch(std::span<const std::uint8_t> reply) { return Word(reply, r::NET_SWITCH, r::SUB_SWITCH); }

NodeRecord ReadNodeRecord(std::span<const std::uint8_t> reply) {
  NodeRecord node;
  node.IPAddress = DottedAddress(reply);
  node.NetSubSwitch = ReadNetSubSwitch(reply);
  node.ShortName = TextField(reply, r::SHORT_NAME, r::SHORT_NAME_SIZE);
  node.LongName = TextField(reply, r::LONG_NAME, r::LONG_NAME_SIZE);
  node.NodeReport = TextField(reply, r::NODE_REPORT, r::NODE_REPORT_SIZE);
  node.NumPorts = Word(reply, r::NUM_PORTS_HI, r::NUM_PORTS_LO);
  for (std::size_t port = 0; port < 4; ++port) {
    const std::uint8_t type = reply[r::PORT_TYPES + port];
    if (type & 0x80) {
      node.PortIsOutput[port] = true;
      node.PortUniverse[port] = reply[r::SW_OUT + port] & 0x0F;
    } else if (type & 0x40) {
      node.PortIsOutput[port] = false;
      node.PortUniverse[port] = reply[r::SW_IN + port] & 0x0F;
    }
  }
  return node;
}

}  // namespace artnet
