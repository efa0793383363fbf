#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

namespace artnet {

// One discovered Art-Net node, as filed from its ArtPollReply.
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

// The nodes heard since the last reset, in the order first heard.
// Entries 0..Count()-1 are filled; after a reset one empty entry remains.
class NodeTable {
 public:
  // Network input cannot grow the table beyond this many nodes.
  static constexpr std::size_t kMaxNodes = 1024;

  NodeTable();

  void Reset();
  // Files a 239-byte ArtPollReply unless the node (IP and NetSubSwitch) is
  // already filed or the table is full.
  void AddNodeFromPollReply(std::span<const std::uint8_t> reply);

  const std::vector<NodeRecord>& Entries() const { return entries_; }
  std::int32_t Count() const { return count_; }

 private:
  std::vector<NodeRecord> entries_;
  std::int32_t count_ = 0;
  std::unordered_set<std::uint64_t> filed_;  // IP bytes and NetSubSwitch of filed nodes
};

}  // namespace artnet
