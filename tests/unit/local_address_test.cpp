// The address the node announces: the lighting interface's, found towards
// the broadcast address, and looked for again while only loopback stood in.
#include <gtest/gtest.h>

#include "module_fixture.h"

namespace artnet {
namespace {

using testing::Bytes;

constexpr std::size_t kReplyIp = 10;

class LocalAddressTest : public testing::ModuleTest {
 protected:
  void EnableTowards(const std::string& broadcastAddress) {
    InitDriver();
    mod.Settings.BroadcastAddress = broadcastAddress;
    EnableDriver();
  }
  // The IP field of the answer to a poll.
  Bytes AnnouncedIp() {
    Socket().Deliver(testing::IncomingPoll(0x02), "10.0.0.9");
    const Bytes& reply = Sent().back().bytes;
    return Bytes(reply.begin() + kReplyIp, reply.begin() + kReplyIp + 4);
  }
};

TEST_F(LocalAddressTest, EnableLooksTowardsTheBroadcastAddressAsItIsMeant) {
  Socket().localIP = "10.0.0.1";
  EnableTowards(" 10.0.000.255");
  EXPECT_EQ(Socket().localIPTowards, std::vector<std::string>{"10.0.0.255"});
  EXPECT_EQ(AnnouncedIp(), (Bytes{10, 0, 0, 1}));
}

// No link up at Enable: loopback stands in, and each refresh looks again
// until the lighting interface has an address; then the looking stops.
TEST_F(LocalAddressTest, LoopbackStandInIsReplacedOnceALinkComesUp) {
  Socket().localIP = "127.0.0.1";
  EnableTowards("255.255.255.255");
  EXPECT_EQ(AnnouncedIp(), (Bytes{127, 0, 0, 1}));
  RefreshTimer().Tick();
  EXPECT_EQ(AnnouncedIp(), (Bytes{127, 0, 0, 1}));

  Socket().localIP = "2.0.0.10";
  RefreshTimer().Tick();
  EXPECT_EQ(AnnouncedIp(), (Bytes{2, 0, 0, 10}));
  const std::size_t reads = Socket().localIPTowards.size();
  Socket().localIP = "192.168.1.5";
  RefreshTimer().Tick();
  EXPECT_EQ(Socket().localIPTowards.size(), reads);
  EXPECT_EQ(AnnouncedIp(), (Bytes{2, 0, 0, 10}));
}

TEST_F(LocalAddressTest, LoopbackChosenForALoopbackBroadcastAddressIsKept) {
  Socket().localIP = "127.0.0.1";
  EnableTowards("127.255.255.255");
  const std::size_t reads = Socket().localIPTowards.size();
  Socket().localIP = "10.0.0.1";
  RefreshTimer().Tick();
  EXPECT_EQ(Socket().localIPTowards.size(), reads);
  EXPECT_EQ(AnnouncedIp(), (Bytes{127, 0, 0, 1}));
}

// A failed look at a refresh changes nothing and is not the host's business.
TEST_F(LocalAddressTest, FailedLookAtARefreshKeepsTheStandIn) {
  Socket().localIP = "127.0.0.1";
  EnableTowards("10.0.0.255");
  Socket().localIPError = 10049;
  RefreshTimer().Tick();
  Socket().localIPError = 0;
  Socket().localIP = "10.0.0.1";
  RefreshTimer().Tick();
  EXPECT_EQ(AnnouncedIp(), (Bytes{10, 0, 0, 1}));
}

}  // namespace
}  // namespace artnet
