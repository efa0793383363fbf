#include "protocol/packets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/senders.h"
#include "module_fixture.h"

namespace artnet {
namespace {

using testing::Bytes;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Repeat(std::uint8_t value, std::size_t count) { return Bytes(count, value); }

const Bytes kId = {'A', 'r', 't', '-', 'N', 'e', 't', 0x00};

// SubNet 2, SendUniverse 0, ReceiveUniverse 1, local address 192.168.1.20.
// clang-format off: one field of the table per line
const Bytes kGoldenPollReply = Concat({
    kId,
    {0x00, 0x21},       // OpCode 0x2100, low byte first
    {192, 168, 1, 20},  // IP
    {0x36, 0x19},       // Port 6454, low byte first
    {0x00, 0x0E},       // VersInfoH, VersInfoL
    {0x00, 0x02},       // NetSwitch, SubSwitch
    {0x08, 0xB0},       // OemHi, Oem
    {0x00, 0x00},       // Ubea, Status1
    {0x56, 0x51},       // EstaMan: 'V' then 'Q'
    Text("Lumenstage"),
    {0x00},
    Repeat(0x20, 7),
    Text("Lumenstage ArtNet output plugin"),
    {0x00},
    Repeat(0x20, 32),
    Text("#0001 [0000] Lumenstage output plugin is ready"),
    {0x00},
    Repeat(0x20, 17),
    {0x00, 0x01},              // NumPortsHi, NumPortsLo
    {0xC0, 0x00, 0x00, 0x00},  // PortTypes
    {0x80, 0x00, 0x00, 0x00},  // GoodInput
    {0x80, 0x00, 0x00, 0x00},  // GoodOutput
    {0x20, 0x00, 0x00, 0x00},  // SwIn: subnet 2, send universe 0
    {0x21, 0x00, 0x00, 0x00},  // SwOut: subnet 2, receive universe 1
    {0x00, 0x00, 0x00},        // SwVideo, SwMacro, SwRemote
    {0x00, 0x00, 0x00},        // Spare
    {0x01},                    // Style: controller
    Repeat(0x00, 6),           // MAC
    Repeat(0x00, 32),          // Filler
});
// clang-format on

const Bytes kGoldenPoll = Concat({kId, {0x00, 0x20}, {0x00, 0x0E}, {0x00}, {0x00}});

Bytes DmxHeader(std::uint8_t sequence, std::uint8_t subUni, std::uint8_t lengthHi, std::uint8_t lengthLo) {
  return Concat({kId, {0x00, 0x50}, {0x00, 0x0E}, {sequence, 0x00}, {subUni, 0x00}, {lengthHi, lengthLo}});
}

class PacketsTest : public testing::ConnectedModuleTest {};

TEST_F(PacketsTest, PollReplyMatchesGoldenBytes) {
  EXPECT_EQ(kGoldenPollReply.size(), 239u);
  mod.Settings = {"10.0.0.255", 2, 0, 1};
  mod.LocalAddress = {{192, 168, 1, 20}, 6454};
  SendPollReply(mod, ParseDestination("10.0.0.255"));
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0].bytes, kGoldenPollReply);
  EXPECT_EQ(Sent()[0].remoteHost, "10.0.0.255");
  EXPECT_EQ(Sent()[0].remotePort, 6454);
}

TEST_F(PacketsTest, PollReplyBeforeAnyAddressIsKnownStillCarriesThePort) {
  mod.Settings = {"10.0.0.255", 0, 0, 0};
  const ArtPollReplyPacket reply = BuildArtPollReply(mod.Settings, mod.LocalAddress);
  EXPECT_EQ(Bytes(reply.begin() + 10, reply.begin() + 16), (Bytes{0, 0, 0, 0, 0x36, 0x19}));
}

TEST_F(PacketsTest, PollReplyUsesOnlyTheLowNibbleOfEachSetting) {
  const ArtPollReplyPacket reply = BuildArtPollReply({"", 0x13, 0x25, 0x3F}, {});
  EXPECT_EQ(reply[19], 0x03);
  EXPECT_EQ(reply[186], 0x35);
  EXPECT_EQ(reply[190], 0x3F);
}

TEST_F(PacketsTest, PollMatchesGoldenBytes) {
  SendArtPoll(mod, ParseDestination("10.0.0.255"));
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0].bytes, kGoldenPoll);
}

TEST_F(PacketsTest, DmxCarriesWholeBufferWithLengthHighByteFirst) {
  mod.Settings = {"10.0.0.255", 3, 5, 0};
  Bytes channels(300);
  for (std::size_t i = 0; i < channels.size(); ++i) channels[i] = static_cast<std::uint8_t>(i * 7);
  SendArtDmx(mod, 5, channels);
  SendArtDmx(mod, 21, Bytes{1, 2, 3});  // universe 0x15: only the low nibble counts

  ASSERT_EQ(Sent().size(), 2u);
  EXPECT_EQ(Sent()[0].bytes, Concat({DmxHeader(1, 0x35, 0x01, 0x2C), channels}));
  EXPECT_EQ(Sent()[0].bytes.size(), 318u);
  // An odd count is sent as it is.
  EXPECT_EQ(Sent()[1].bytes, Concat({DmxHeader(2, 0x35, 0x00, 0x03), {1, 2, 3}}));
  EXPECT_EQ(Sent()[1].remoteHost, "10.0.0.255");
}

TEST_F(PacketsTest, DmxOfMoreThan512ValuesCarriesTheFirst512) {
  mod.Settings = {"10.0.0.255", 0, 0, 0};
  Bytes channels(600, 0x11);
  channels[511] = 0x22;
  channels[512] = 0x33;
  SendArtDmx(mod, 0, channels);
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0].bytes.size(), 530u);
  EXPECT_EQ(Bytes(Sent()[0].bytes.begin(), Sent()[0].bytes.begin() + 18), DmxHeader(1, 0x00, 0x02, 0x00));
  EXPECT_EQ(Sent()[0].bytes[529], 0x22);
}

// Receivers drop an ArtDmx with fewer than two slots, so a lone channel
// is padded with one zero slot rather than lost.
TEST_F(PacketsTest, DmxOfOneValueIsSentAsTwoSlots) {
  mod.Settings = {"10.0.0.255", 0, 1, 0};
  SendArtDmx(mod, 1, Bytes{0xAB});
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0].bytes, Concat({DmxHeader(1, 0x01, 0x00, 0x02), {0xAB, 0x00}}));
  EXPECT_EQ(Sent()[0].bytes.size(), 20u);
}

TEST_F(PacketsTest, SequenceRunsFrom1To255AndNeverSends0) {
  mod.Settings = {"10.0.0.255", 0, 0, 0};
  for (int i = 0; i < 256 + 3; ++i) SendArtDmx(mod, 0, Bytes{1, 2});
  ASSERT_EQ(Sent().size(), 259u);
  EXPECT_EQ(Sent()[0].bytes[12], 1);
  EXPECT_EQ(Sent()[254].bytes[12], 255);
  EXPECT_EQ(Sent()[255].bytes[12], 1);
  for (const auto& d : Sent()) EXPECT_NE(d.bytes[12], 0);
}

// A send inside a nested loop (here: while the socket is sending) builds
// its own packet and leaves the outer one intact.
TEST_F(PacketsTest, NestedSendDoesNotDisturbThePacketBeingSent) {
  mod.Settings = {"10.0.0.255", 0, 0, 0};
  mod.Output.Buffer = {1, 2, 3, 4};
  bool nested = false;
  Socket().onSend = [&] {
    if (nested) return;
    nested = true;
    mod.Output.Buffer.assign(8, 9);
    SendArtDmx(mod, 0, mod.Output.Buffer);
  };
  SendArtDmx(mod, 0, mod.Output.Buffer);
  ASSERT_EQ(Sent().size(), 2u);
  EXPECT_EQ(Sent()[0].bytes, Concat({DmxHeader(1, 0, 0, 4), {1, 2, 3, 4}}));
  EXPECT_EQ(Sent()[1].bytes, Concat({DmxHeader(2, 0, 0, 8), Bytes(8, 9)}));
}

TEST(SwapBytesTest, ExchangesTheTwoBytes) {
  EXPECT_EQ(SwapBytes(0x0102), 0x0201);
  EXPECT_EQ(SwapBytes(255), static_cast<std::int16_t>(0xFF00));
  EXPECT_LT(SwapBytes(255), 0);
  EXPECT_EQ(SwapBytes(SwapBytes(255)), 255);
}

TEST(StripNullTest, CutsAtTheFirstNul) {
  EXPECT_EQ(StripNull("Stage  "), "Stage  ");
  EXPECT_EQ(StripNull(std::string_view("\0abc", 4)), "");
  EXPECT_EQ(StripNull(std::string_view("ab\0cd\0", 6)), "ab");
}

}  // namespace
}  // namespace artnet
