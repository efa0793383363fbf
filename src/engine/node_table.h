#pragma once

#include <cstdint>
#include <span>
#include <unordered_set>
#include <vector>

#include "protocol/node_record.h"

namespace artnet {

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
