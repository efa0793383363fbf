// The flood sender's datagrams: what each kind of flood exercises.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "flood.h"

namespace artnetpeer {
namespace {

TEST(FloodMaker, KindsAreParsedByName) {
  EXPECT_EQ(ParseFloodKind("random"), FloodKind::Random);
  EXPECT_EQ(ParseFloodKind("pollreply"), FloodKind::PollReply);
  EXPECT_EQ(ParseFloodKind("dmx"), FloodKind::Dmx);
  EXPECT_EQ(ParseFloodKind("truncated"), FloodKind::Truncated);
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

TEST(FloodMaker, TruncatedDatagramsAreArtNetPacketsCutShortOfTheirSize) {
  FloodMaker maker(FloodKind::Truncated, 1, 7);
  const std::map<PacketKind, std::size_t> wholeSize = {
      {PacketKind::Poll, kPollSize}, {PacketKind::PollReply, kPollReplySize}, {PacketKind::Dmx, 530}};
  std::map<PacketKind, std::size_t> seen;
  std::size_t tooShortForAnOpCode = 0;
  for (std::uint64_t i = 0; i < 3000; ++i) {
    const Bytes& packet = maker.Make(i);
    const Bytes id = EncodePoll(Poll{});
    ASSERT_TRUE(std::equal(packet.begin(), packet.begin() + std::min<std::size_t>(packet.size(), 8), id.begin()));
    if (packet.size() < off::OPCODE + 2) {
      ++tooShortForAnOpCode;
      continue;
    }
    const PacketKind kind = Classify(packet);
    ASSERT_NE(kind, PacketKind::Other);
    ASSERT_LT(packet.size(), wholeSize.at(kind));
    if (kind == PacketKind::Dmx && packet.size() > off::LENGTH_LO) {
      ASSERT_EQ(DecodeDmx(packet).length, 512);
      ASSERT_EQ(DecodeDmx(packet).subUni, 1);
    }
    ++seen[kind];
  }
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_GT(tooShortForAnOpCode, 0u);
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
