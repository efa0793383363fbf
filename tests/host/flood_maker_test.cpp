// The flood sender's datagrams: what each kind of flood exercises.
#include <gtest/gtest.h>

#include <set>

#include "flood.h"

namespace artnetpeer {
namespace {

TEST(FloodMaker, KindsAreParsedByName) {
  EXPECT_EQ(ParseFloodKind("random"), FloodKind::Random);
  EXPECT_EQ(ParseFloodKind("pollreply"), FloodKind::PollReply);
  EXPECT_EQ(ParseFloodKind("dmx"), FloodKind::Dmx);
  EXPECT_FALSE(ParseFloodKind("poll"));
}

TEST(FloodMaker, ForgedPollRepliesCarryADistinctAddressEach) {
  FloodMaker maker(FloodKind::PollReply, 1, 7);
  std::set<std::array<std::uint8_t, 4>> addresses;
  for (std::uint64_t i = 0; i < 5000; ++i) {
    const Bytes& packet = maker.Make(i);
    ASSERT_EQ(Classify(packet), PacketKind::PollReply);
    ASSERT_EQ(packet.size(), kPollReplySize);
    addresses.insert(DecodePollReply(packet).ip);
  }
  EXPECT_EQ(addresses.size(), 5000u);
}

TEST(FloodMaker, FullUniverseDmxChangesEveryChannelEachTime) {
  FloodMaker maker(FloodKind::Dmx, 1, 7);
  Bytes previous = maker.Make(0);
  for (std::uint64_t i = 1; i < 300; ++i) {
    const Bytes& packet = maker.Make(i);
    const Dmx dmx = DecodeDmx(packet);
    ASSERT_EQ(dmx.subUni, 1);
    ASSERT_EQ(dmx.length, 512);
    ASSERT_EQ(dmx.data.size(), 512u);
    for (std::size_t j = 0; j < 512; ++j) ASSERT_NE(packet[off::DATA + j], previous[off::DATA + j]) << i << " " << j;
    previous = packet;
  }
}

TEST(FloodMaker, RandomDatagramsReachTheDispatchersBranchesAndRepeatWithTheSeed) {
  FloodMaker first(FloodKind::Random, 1, 42);
  FloodMaker again(FloodKind::Random, 1, 42);
  std::set<PacketKind> kinds;
  std::size_t longest = 0;
  for (std::uint64_t i = 0; i < 4000; ++i) {
    const Bytes packet = first.Make(i);
    ASSERT_EQ(packet, again.Make(i));
    kinds.insert(Classify(packet));
    longest = std::max(longest, packet.size());
  }
  EXPECT_EQ(kinds.size(), 4u);  // ArtPoll, ArtPollReply, ArtDmx and anything else
  EXPECT_LE(longest, 1472u);
  EXPECT_GT(longest, 1400u);
}

}  // namespace
}  // namespace artnetpeer
