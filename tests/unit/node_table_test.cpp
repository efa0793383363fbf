#include <gtest/gtest.h>

#include "engine/discovery.h"
#include "module_fixture.h"

namespace artnet {
namespace {

using testing::IncomingReply;
using testing::ReplyFields;

ReplyFields Node(std::uint8_t lastOctet, std::uint8_t subSwitch = 0) {
  ReplyFields f;
  f.ip[3] = lastOctet;
  f.subSwitch = subSwitch;
  return f;
}

TEST(NodeTableTest, StartsWithoutEntriesAndResetsToOneEmptyEntry) {
  NodeTable table;
  EXPECT_TRUE(table.Entries().empty());
  table.Reset();
  ASSERT_EQ(table.Entries().size(), 1u);
  EXPECT_TRUE(table.Entries()[0].IsEmpty());
  EXPECT_EQ(table.Count(), 0);

  table.AddNodeFromPollReply(IncomingReply(Node(1)));
  table.AddNodeFromPollReply(IncomingReply(Node(2)));
  ASSERT_EQ(table.Entries().size(), 2u);
  EXPECT_EQ(table.Entries()[0].IPAddress, "2.0.0.1");
  EXPECT_EQ(table.Entries()[1].IPAddress, "2.0.0.2");
  EXPECT_EQ(table.Count(), 2);
}

TEST(NodeTableTest, DuplicatesAreKnownByAddressAndSwitches) {
  NodeTable table;
  table.Reset();
  ReplyFields first = Node(1, 0);
  table.AddNodeFromPollReply(IncomingReply(first));
  first.shortName = "Renamed";
  table.AddNodeFromPollReply(IncomingReply(first));
  table.AddNodeFromPollReply(IncomingReply(Node(1, 1)));
  ASSERT_EQ(table.Count(), 2);
  EXPECT_EQ(table.Entries()[0].ShortName, "Node");  // the first reply stays
  EXPECT_EQ(table.Entries()[1].NetSubSwitch, 1);

  table.Reset();
  table.AddNodeFromPollReply(IncomingReply(first));
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Entries()[0].ShortName, "Renamed");
}

TEST(NodeTableTest, FieldsAndPortsAreTakenFromTheReply) {
  NodeTable table;
  table.Reset();
  ReplyFields f = Node(17);
  f.netSwitch = 0x01;
  f.subSwitch = 0x05;
  f.shortName = "ABCDEFGHIJKLMNOPQR";  // 18 characters, no NUL
  f.numPortsLo = 1;
  const std::uint8_t types[4] = {0xC0, 0x40, 0x05, 0x80};
  const std::uint8_t swIn[4] = {0x11, 0x27, 0x33, 0x44};
  const std::uint8_t swOut[4] = {0x3A, 0x55, 0x66, 0x7F};
  std::copy(types, types + 4, f.portTypes);
  std::copy(swIn, swIn + 4, f.swIn);
  std::copy(swOut, swOut + 4, f.swOut);
  table.AddNodeFromPollReply(IncomingReply(f));

  const NodeRecord& node = table.Entries()[0];
  EXPECT_EQ(node.IPAddress, "2.0.0.17");
  EXPECT_EQ(node.NetSubSwitch, 0x105);
  EXPECT_EQ(node.ShortName, "ABCDEFGHIJKLMNOPQR");
  EXPECT_EQ(node.LongName, "Node long");
  EXPECT_EQ(node.NodeReport, "#0001 [0000] ok");
  EXPECT_EQ(node.NumPorts, 1);  // all four ports are read whatever it says
  EXPECT_EQ(node.PortIsOutput, (std::array<bool, 4>{true, false, false, true}));
  EXPECT_EQ(node.PortUniverse, (std::array<std::int32_t, 4>{10, 7, 0, 15}));
}

TEST(NodeTableTest, HighNetSwitchAndPortCountAreTakenUnsigned) {
  NodeTable table;
  table.Reset();
  ReplyFields f = Node(3);
  f.netSwitch = 0xFF;
  f.subSwitch = 0xFF;
  f.numPortsHi = 0x80;
  f.numPortsLo = 0x01;
  table.AddNodeFromPollReply(IncomingReply(f));
  ASSERT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Entries()[0].NetSubSwitch, 65535);
  EXPECT_EQ(table.Entries()[0].NumPorts, 32769);
}

// Anyone on the network can forge replies; the table must not grow without bound.
TEST(NodeTableTest, TableHoldsAtMost1024Nodes) {
  NodeTable table;
  table.Reset();
  for (int i = 0; i < 1100; ++i) {
    ReplyFields f;
    f.ip[2] = static_cast<std::uint8_t>(i / 256);
    f.ip[3] = static_cast<std::uint8_t>(i % 256);
    table.AddNodeFromPollReply(IncomingReply(f));
  }
  EXPECT_EQ(table.Count(), 1024);
  EXPECT_EQ(table.Entries().size(), 1024u);
  EXPECT_EQ(table.Entries().back().IPAddress, "2.0.3.255");

  table.Reset();
  table.AddNodeFromPollReply(IncomingReply(Node(200)));
  EXPECT_EQ(table.Count(), 1);
}

class ScanTest : public testing::ConnectedModuleTest {};

TEST_F(ScanTest, ScanPollsAndFilesRepliesForLittleOverFourSeconds) {
  InitDriver();
  mod.Settings.BroadcastAddress = "10.0.0.255";
  EnableDriver();
  mod.Nodes.AddNodeFromPollReply(IncomingReply(Node(99)));
  const std::size_t sentBefore = Sent().size();

  platform.pump.onDoEvents = [&] {
    const double elapsed = platform.clock.monotonic;
    if (platform.pump.doEventsCalls == 1) {
      EXPECT_EQ(Sent().size(), sentBefore);  // the caller's screen is drawn before the poll
      EXPECT_EQ(mod.Nodes.Count(), 1);
    }
    if (elapsed > 1.0 && elapsed < 1.0011) Socket().Deliver(IncomingReply(Node(1)));
    if (elapsed > 3.9 && elapsed < 3.9011) Socket().Deliver(IncomingReply(Node(2)));
  };
  ScanNodes(mod);

  ASSERT_EQ(Sent().size(), sentBefore + 1);
  EXPECT_EQ(Sent().back().bytes.size(), 14u);
  EXPECT_EQ(Sent().back().remoteHost, "10.0.0.255");
  EXPECT_GT(platform.clock.monotonic, 4.0);
  EXPECT_LT(platform.clock.monotonic, 4.01);
  ASSERT_EQ(mod.Nodes.Count(), 2);
  EXPECT_EQ(mod.Nodes.Entries()[0].IPAddress, "2.0.0.1");
}

TEST_F(ScanTest, ScanWithoutRepliesLeavesOneEmptyEntry) {
  mod.Settings.BroadcastAddress = "10.0.0.255";
  platform.clock.timeOfDay = 86398.0f;  // the time of day will wrap; the scan must still end
  ScanNodes(mod);
  EXPECT_EQ(mod.Nodes.Count(), 0);
  EXPECT_EQ(mod.Nodes.Entries().size(), 1u);
}

TEST_F(ScanTest, NestedScanResetsAgainAndBothEnd) {
  mod.Settings.BroadcastAddress = "10.0.0.255";
  int depth = 0;
  platform.pump.onDoEvents = [&] {
    if (platform.clock.monotonic > 2.0 && depth == 0) {
      ++depth;
      Socket().Deliver(IncomingReply(Node(1)));
      ScanNodes(mod);
      Socket().Deliver(IncomingReply(Node(2)));
    }
  };
  ScanNodes(mod);
  EXPECT_EQ(Socket().sent.size(), 2u);  // two polls
  EXPECT_EQ(mod.Nodes.Count(), 1);
  EXPECT_EQ(mod.Nodes.Entries()[0].IPAddress, "2.0.0.2");
}

}  // namespace
}  // namespace artnet
