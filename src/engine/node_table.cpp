#include "engine/node_table.h"

#include <string_view>

#include "engine/packets.h"

namespace artnet {
namespace {

std::string DottedAddress(std::span<const std::uint8_t> reply) {
  namespace r = poll_reply;
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

NodeTable::NodeTable() { filed_.reserve(kMaxNodes); }

void NodeTable::Reset() {
  entries_.assign(1, NodeRecord{});
  count_ = 0;
  filed_.clear();
}

void NodeTable::AddNodeFromPollReply(std::span<const std::uint8_t> reply) {
  namespace r = poll_reply;
  if (reply.size() < kArtPollReplySize) return;
  const std::int32_t netSubSwitch = Word(reply, r::NET_SWITCH, r::SUB_SWITCH);
  const std::uint64_t key = (std::uint64_t{reply[r::IP]} << 56) | (std::uint64_t{reply[r::IP + 1]} << 48) |
                            (std::uint64_t{reply[r::IP + 2]} << 40) | (std::uint64_t{reply[r::IP + 3]} << 32) |
                            static_cast<std::uint32_t>(netSubSwitch);
  if (filed_.contains(key)) return;
  if (filed_.size() >= kMaxNodes) return;

  NodeRecord node;
  node.IPAddress = DottedAddress(reply);
  node.NetSubSwitch = netSubSwitch;
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

  // Filled completely before it is counted, so a failure files nothing.
  if (static_cast<std::size_t>(count_) < entries_.size()) {
    entries_[count_] = std::move(node);
  } else {
    entries_.push_back(std::move(node));
  }
  filed_.insert(key);
  ++count_;
}

}  // namespace artnet
