#include "engine/endpoint.h"

#include <gtest/gtest.h>

#include "module_fixture.h"
#include "protocol/automation_error.h"

namespace artnet {
namespace {

using testing::Bytes;

class EndpointTest : public testing::ConnectedModuleTest {
 protected:
  const Bytes packet{1, 2, 3};
  const std::string kWarning = "Port 0x1936 is already in use by another program. Please close that program.";

  void Open() {
    mod.Settings.BroadcastAddress = "10.0.0.255";
    OpenArtNetSocket(mod);
  }
};

TEST_F(EndpointTest, OpenBindsTheArtNetPortAndLeavesAnOpenSocketAlone) {
  Open();
  EXPECT_TRUE(Socket().open);
  EXPECT_EQ(Socket().boundPort, 6454);
  Socket().log.clear();
  mod.Settings.BroadcastAddress = "10.1.1.255";
  OpenArtNetSocket(mod);
  EXPECT_TRUE(Socket().log.empty());
}

TEST_F(EndpointTest, FreePortSendsFromTheArtNetPortWithoutWarning) {
  Open();
  for (int i = 0; i < 3; ++i) SendArtNetPacket(mod, ParseDestination("10.0.0.255"), packet);
  ASSERT_EQ(Sent().size(), 3u);
  for (const auto& d : Sent()) EXPECT_EQ(d.localPort, 6454);
  EXPECT_TRUE(platform.messages.shown.empty());
}

TEST_F(EndpointTest, HeldPortWarnsOnceAndEveryPacketStillLeaves) {
  Socket().heldPorts = {6454};
  Open();
  EXPECT_FALSE(Socket().open);  // the bind failed silently

  for (int i = 0; i < 5; ++i)
    SendArtNetPacket(mod, ParseDestination("10.0.0.255"), Bytes{static_cast<std::uint8_t>(i)});

  EXPECT_EQ(platform.messages.shown, std::vector<std::string>{kWarning});
  ASSERT_EQ(Sent().size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Sent()[i].bytes, Bytes{static_cast<std::uint8_t>(i)});
    EXPECT_NE(Sent()[i].localPort, 6454);
  }
}

TEST_F(EndpointTest, HeldPortAlternatesBetweenFallbackAndRetryingTheArtNetPort) {
  Socket().heldPorts = {6454};
  Open();
  Socket().log.clear();
  SendArtNetPacket(mod, ParseDestination("10.0.0.255"), packet);
  // Meets the conflict, warns, sends again from a free port.
  EXPECT_EQ(Socket().log, (std::vector<std::string>{"Bind 6454", "Bind 0", "SendTo 10.0.0.255"}));
  Socket().log.clear();
  SendArtNetPacket(mod, ParseDestination("10.0.0.255"), packet);
  // Leaves from the free port, then closes it so the next send tries 6454.
  EXPECT_EQ(Socket().log, (std::vector<std::string>{"SendTo 10.0.0.255", "Close"}));
  EXPECT_FALSE(Socket().open);
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(EndpointTest, ReleasedPortIsTakenBackAndTheWarningReArmed) {
  Socket().heldPorts = {6454};
  Open();
  SendArtNetPacket(mod, ParseDestination("10.0.0.255"), packet);  // conflict: warning
  SendArtNetPacket(mod, ParseDestination("10.0.0.255"), packet);  // from the free port, then closed
  Socket().heldPorts.clear();
  SendArtNetPacket(mod, ParseDestination("10.0.0.255"), packet);
  EXPECT_EQ(Sent().back().localPort, 6454);
  EXPECT_FALSE(mod.Endpoint.PortInUseWarned);

  // A new conflict warns again.
  CloseArtNetSocket(mod);
  Socket().heldPorts = {6454};
  SendArtNetPacket(mod, ParseDestination("10.0.0.255"), packet);
  EXPECT_EQ(platform.messages.shown.size(), 2u);
}

TEST_F(EndpointTest, SendBeforeOpenGoesOutFromAFreePortAndThenClosesForTheArtNetPort) {
  SendArtNetPacket(mod, ParseDestination("10.0.0.255"), packet);
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_NE(Sent()[0].localPort, 6454);
  EXPECT_FALSE(Socket().open);
  EXPECT_EQ(mod.Endpoint.NextPort, 6454);
}

TEST_F(EndpointTest, AddressesAsPeopleTypeThemAreSentToPlainly) {
  Open();
  for (const char* typed : {"10.0.000.255", " 192.168.001.255", "10.0.0.7 ", "\t010.000.000.007\t"}) {
    SendArtNetPacket(mod, ParseDestination(typed), packet);
  }
  ASSERT_EQ(Sent().size(), 4u);
  EXPECT_EQ(Sent()[0].remoteHost, "10.0.0.255");
  EXPECT_EQ(Sent()[1].remoteHost, "192.168.1.255");
  EXPECT_EQ(Sent()[2].remoteHost, "10.0.0.7");
  EXPECT_EQ(Sent()[3].remoteHost, "10.0.0.7");
  EXPECT_TRUE(platform.messages.shown.empty());
}

// A box here would hold up an unattended host's start-up: only the packets
// to text that is no address are lost, without a word.
TEST_F(EndpointTest, UnusableDestinationLosesOnlyItsPacketsSilently) {
  Open();
  for (const char* bad : {"not-an-address", "10.77.0", "localhost", "", "256.0.0.1", "10.0.0.1.5", "10. 0.0.1"}) {
    SendArtNetPacket(mod, ParseDestination(bad), packet);
    SendArtNetPacket(mod, ParseDestination("10.0.0.7"), packet);
  }
  ASSERT_EQ(Sent().size(), 7u);
  for (const auto& sent : Sent()) EXPECT_EQ(sent.remoteHost, "10.0.0.7");
  EXPECT_TRUE(platform.messages.shown.empty());
}

// The warning's modal loop can run other sends; each is sent once and the
// warning is still shown only once.
TEST_F(EndpointTest, SendsInsideTheWarningsLoopAreNotLostOrWarnedTwice) {
  Socket().heldPorts = {6454};
  Open();
  platform.messages.whileShown = [&] { SendArtNetPacket(mod, ParseDestination("10.0.0.255"), Bytes{9}); };
  SendArtNetPacket(mod, ParseDestination("10.0.0.255"), Bytes{1});
  EXPECT_EQ(platform.messages.shown.size(), 1u);
  ASSERT_EQ(Sent().size(), 2u);
  EXPECT_EQ(Sent()[0].bytes, Bytes{9});
  EXPECT_EQ(Sent()[1].bytes, Bytes{1});
}

// A send inside the box's loop points the control elsewhere (here: a unicast
// poll reply); the interrupted packet must still go where it was meant to.
TEST_F(EndpointTest, PacketInterruptedByTheWarningKeepsItsDestination) {
  Socket().heldPorts = {6454};
  Open();
  platform.messages.whileShown = [&] { SendArtNetPacket(mod, ParseDestination("10.0.0.9"), Bytes{9}); };
  SendArtNetPacket(mod, mod.Settings.BroadcastAddress.Address(), Bytes{1});
  ASSERT_EQ(Sent().size(), 2u);
  EXPECT_EQ(Sent()[0].remoteHost, "10.0.0.9");
  EXPECT_EQ(Sent()[1].bytes, Bytes{1});
  EXPECT_EQ(Sent()[1].remoteHost, "10.0.0.255");
  EXPECT_EQ(Sent()[1].remotePort, 6454);
}

TEST_F(EndpointTest, ReceiveHandlerPassesNonEmptyDatagramsOnly) {
  mod.Settings.BroadcastAddress = "10.0.0.255";
  Open();
  Socket().Deliver({});
  EXPECT_TRUE(Sent().empty());
  Socket().Deliver(testing::IncomingPoll(0));
  EXPECT_EQ(Sent().size(), 1u);  // answered
}

TEST_F(EndpointTest, CloseFailureReachesTheCaller) {
  Open();
  Socket().closeError = 10050;
  try {
    CloseArtNetSocket(mod);
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 10050);
  }
}

}  // namespace
}  // namespace artnet
