#include "peer_packets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace artnetpeer {
namespace {

// An ArtPollReply as a node on the wire sends it, laid out by hand at raw
// offsets (not the library's constants, so a wrong constant shows up).
Bytes KnownPollReply() {
  Bytes p(239, 0);
  std::memcpy(&p[0], "Art-Net", 8);
  p[8] = 0x00, p[9] = 0x21;                                    // OpCode 0x2100, low byte first
  p[10] = 10, p[11] = 77, p[12] = 0, p[13] = 2;                // IP
  p[14] = 0x36, p[15] = 0x19;                                  // Port 6454, low byte first
  p[16] = 0x01, p[17] = 0x02;                                  // VersInfo 0x0102, high byte first
  p[18] = 0x03, p[19] = 0x04;                                  // NetSwitch, SubSwitch
  p[20] = 0x08, p[21] = 0xB0;                                  // Oem 0x08B0, high byte first
  p[22] = 0x05, p[23] = 0xD0;                                  // Ubea, Status1
  p[24] = 'V', p[25] = 'Q';                                    // EstaMan, low byte first
  std::memcpy(&p[26], "Dimmer rack", 11);                      // ShortName, NUL-padded
  std::memset(&p[44], 'L', 64);                                // LongName filling its field: no NUL
  std::memcpy(&p[108], "#0001 [0000] ok\0junk", 20);           // NodeReport, text after the NUL ignored
  p[172] = 0x00, p[173] = 0x04;                                // NumPorts 4
  p[174] = 0xC0, p[175] = 0x80, p[176] = 0x40, p[177] = 0x05;  // PortTypes
  p[178] = 0x80, p[182] = 0x80, p[183] = 0x01;                 // GoodInput, GoodOutput
  p[186] = 0x20, p[187] = 0x21, p[188] = 0x22, p[189] = 0x23;  // SwIn
  p[190] = 0x30, p[193] = 0x3F;                                // SwOut
  p[194] = 1, p[195] = 2, p[196] = 3;                          // SwVideo, SwMacro, SwRemote
  p[200] = 0x01;                                               // Style
  p[201] = 0xDE, p[202] = 0xAD, p[206] = 0xEF;                 // MAC
  return p;
}

TEST(PeerPackets, DecodesAKnownPollReply) {
  const Bytes packet = KnownPollReply();
  ASSERT_EQ(Classify(packet), PacketKind::PollReply);
  const PollReply r = DecodePollReply(packet);
  EXPECT_EQ(Dotted(r.ip), "10.77.0.2");
  EXPECT_EQ(r.port, 6454);
  EXPECT_EQ(r.versInfo, 0x0102);
  EXPECT_EQ(r.netSwitch, 3);
  EXPECT_EQ(r.subSwitch, 4);
  EXPECT_EQ(r.oem, 0x08B0);
  EXPECT_EQ(r.ubea, 5);
  EXPECT_EQ(r.status1, 0xD0);
  EXPECT_EQ(r.estaMan, 0x5156);
  EXPECT_EQ(r.shortName, "Dimmer rack");
  EXPECT_EQ(r.longName, std::string(64, 'L'));  // never reads past its field
  EXPECT_EQ(r.nodeReport, "#0001 [0000] ok");
  EXPECT_EQ(r.numPorts, 4);
  EXPECT_EQ(r.portTypes, (std::array<std::uint8_t, 4>{0xC0, 0x80, 0x40, 0x05}));
  EXPECT_EQ(r.goodInput, (std::array<std::uint8_t, 4>{0x80, 0, 0, 0}));
  EXPECT_EQ(r.goodOutput, (std::array<std::uint8_t, 4>{0x80, 0x01, 0, 0}));
  EXPECT_EQ(r.swIn, (std::array<std::uint8_t, 4>{0x20, 0x21, 0x22, 0x23}));
  EXPECT_EQ(r.swOut, (std::array<std::uint8_t, 4>{0x30, 0, 0, 0x3F}));
  EXPECT_EQ(r.swVideo, 1);
  EXPECT_EQ(r.swMacro, 2);
  EXPECT_EQ(r.swRemote, 3);
  EXPECT_EQ(r.style, 1);
  EXPECT_EQ(r.mac, (std::array<std::uint8_t, 6>{0xDE, 0xAD, 0, 0, 0, 0xEF}));
}

TEST(PeerPackets, EncodedPollReplyMatchesTheKnownBytes) {
  PollReply r = DecodePollReply(KnownPollReply());
  r.longName = "Long";  // a field-filling text cannot round-trip: encoding keeps a NUL
  Bytes expected = KnownPollReply();
  std::memset(&expected[44], 0, 64);
  std::memcpy(&expected[44], "Long", 4);
  std::memset(&expected[108 + 15], 0, 64 - 15);  // nothing after the report's NUL
  EXPECT_EQ(EncodePollReply(r), expected);
}

TEST(PeerPackets, PollAndDmxLayouts) {
  const Bytes poll = EncodePoll({0x02, 0x10});
  const Bytes expectedPoll = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x20, 0, 14, 0x02, 0x10};
  EXPECT_EQ(poll, expectedPoll);
  EXPECT_EQ(DecodePoll(poll).talkToMe, 0x02);

  Dmx dmx;
  dmx.sequence = 7;
  dmx.subUni = 0x35;
  dmx.net = 1;
  dmx.length = 300;
  dmx.data = {1, 2, 3};
  const Bytes packet = EncodeDmx(dmx);
  ASSERT_EQ(packet.size(), 21u);  // the Length field need not match what is carried
  EXPECT_EQ(packet[8], 0x00);
  EXPECT_EQ(packet[9], 0x50);
  EXPECT_EQ(packet[11], 14);
  EXPECT_EQ(packet[12], 7);
  EXPECT_EQ(packet[14], 0x35);
  EXPECT_EQ(packet[15], 1);
  EXPECT_EQ(packet[16], 0x01);  // Length high byte first
  EXPECT_EQ(packet[17], 0x2C);
  EXPECT_EQ(packet[18], 1);
  EXPECT_EQ(packet[20], 3);
  const Dmx back = DecodeDmx(packet);
  EXPECT_EQ(back.length, 300);
  EXPECT_EQ(back.data, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(PeerPackets, ClassifiesOnlyArtNetHeaders) {
  Bytes packet = EncodePoll({});
  EXPECT_EQ(Classify(packet), PacketKind::Poll);
  packet[7] = ' ';  // ID must end in a NUL
  EXPECT_EQ(Classify(packet), PacketKind::Other);
  EXPECT_EQ(Classify(Bytes{'A', 'r', 't'}), PacketKind::Other);
  Bytes unknownOp = EncodePoll({});
  unknownOp[9] = 0x99;
  EXPECT_EQ(Classify(unknownOp), PacketKind::Other);
}

TEST(PeerPackets, ShortDatagramsReadAsZeroExtended) {
  Bytes truncated = KnownPollReply();
  truncated.resize(30);  // ends inside ShortName
  const PollReply r = DecodePollReply(truncated);
  EXPECT_EQ(Dotted(r.ip), "10.77.0.2");
  EXPECT_EQ(r.shortName, "Dimm");
  EXPECT_EQ(r.numPorts, 0);
  EXPECT_TRUE(DecodeDmx(Bytes(10, 0)).data.empty());
}

TEST(PeerPackets, DescribePrintsTitleFieldsAndHex) {
  const auto lines = Describe(KnownPollReply(), "10.77.0.2");
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "ArtPollReply from 10.77.0.2 (239 bytes)");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "  IP: 10.77.0.2"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "  ShortName: \"Dimmer rack\""), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "  SwIn: 0x20 0x21 0x22 0x23"), lines.end());
  EXPECT_EQ(lines.back().rfind("  hex: 41 72 74 2d 4e 65 74 00 00 21 0a 4d", 0), 0u);

  const auto other = Describe(Bytes{1, 2}, "127.0.0.1");
  EXPECT_EQ(other.front(), "other from 127.0.0.1 (2 bytes)");
  EXPECT_EQ(other.back(), "  hex: 01 02");
}

}  // namespace
}  // namespace artnetpeer
