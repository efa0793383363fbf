#include "engine/node_table.h"

#include "protocol/packets.h"

namespace artnet {

NodeTable::NodeTable() { filed_.reserve(kMaxNodes); }

void NodeTable::Reset() {
  entries_.assign(1, NodeRecord{});
  count_ = 0;
  filed_.clear();
}

void NodeTable::AddNodeFromPollReply(std::span<const std::uint8_t> reply) {
  namespace r = poll_reply;
  if (reply.size() < kArtPollReplySize) return;
  const std::int32_t netSubSwitch = ReadNetSubSwitch(reply);
  const std::uint64_t key = (std::uint64_t{reply[r::IP]} << 56) | (std::uint64_t{reply[r::IP + 1]} << 48) |
                            (std::uint64_t{reply[r::IP + 2]} << 40) | (std::uint64_t{reply[r::IP + 3]} << 32) |
                            static_cast<std::uint32_t>(netSubSwitch);
  if (filed_.contains(key)) return;
  if (filed_.size() >= kMaxNodes) return;
  NodeRecord node = ReadNodeRecord(reply);

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
