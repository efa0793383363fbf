// DMX output when the socket's send buffer is full (a slow link, a flood of
// polls wanting answers): the newest frame waits for the socket, poll
// answers may be dropped.
#include <gtest/gtest.h>

#include "module_fixture.h"

namespace artnet {
namespace {

using testing::Bytes;

constexpr std::size_t kSequence = 12;
constexpr std::size_t kFirstChannel = 18;

class OutputUnderPressureTest : public testing::ModuleTest {
 protected:
  void SetUp() override {
    InitDriver();
    mod.Settings.BroadcastAddress = "10.0.0.255";
    EnableDriver();
    Sent().clear();
  }
  // An immediate send: each call lands outside the previous window.
  void SetNow(std::int32_t channel, std::int32_t value) {
    platform.clock.timeOfDay += 1.0f;
    lumenstage::VBool result = 0;
    ASSERT_TRUE(driver.SetChannel(channel, value, &result).ok());
    ASSERT_EQ(result, lumenstage::kTrue);
  }
  std::vector<fakes::SentDatagram> SentDmx() {
    std::vector<fakes::SentDatagram> dmx;
    for (const auto& d : Sent()) {
      if (d.bytes.size() > kFirstChannel && d.bytes[9] == 0x50) dmx.push_back(d);
    }
    return dmx;
  }
};

TEST_F(OutputUnderPressureTest, RefusedFrameLeavesOnceTheSocketCanTakeIt) {
  Socket().sendBufferFull = true;
  SetNow(1, 10);
  EXPECT_TRUE(SentDmx().empty());
  Socket().Drain();
  const auto dmx = SentDmx();
  ASSERT_EQ(dmx.size(), 1u);
  EXPECT_EQ(dmx[0].bytes[kFirstChannel], 10);
  EXPECT_EQ(dmx[0].remoteHost, "10.0.0.255");
  EXPECT_EQ(dmx[0].remotePort, 6454);
}

TEST_F(OutputUnderPressureTest, NewerFrameReplacesTheWaitingOneAndTheSequenceStaysInOrder) {
  SetNow(1, 5);
  const std::uint8_t before = SentDmx().back().bytes[kSequence];
  Socket().sendBufferFull = true;
  SetNow(1, 10);
  SetNow(2, 20);  // the refresh and the flush refuse just the same
  RefreshTimer().Tick();
  Socket().Drain();
  const auto dmx = SentDmx();
  ASSERT_EQ(dmx.size(), 2u);
  EXPECT_EQ(dmx[1].bytes[kFirstChannel], 10);
  EXPECT_EQ(dmx[1].bytes[kFirstChannel + 1], 20);
  EXPECT_EQ(dmx[1].bytes[kSequence], static_cast<std::uint8_t>(before + 3));
}

// A newer frame that gets through makes the waiting one obsolete: sending it
// afterwards would put an older value and sequence on the wire last.
TEST_F(OutputUnderPressureTest, WaitingFrameIsDroppedWhenANewerOneLeavesFirst) {
  Socket().sendBufferFull = true;
  SetNow(1, 10);
  Socket().sendBufferFull = false;  // space again, before the event arrives
  SetNow(1, 20);
  Socket().Drain();
  const auto dmx = SentDmx();
  ASSERT_EQ(dmx.size(), 1u);
  EXPECT_EQ(dmx[0].bytes[kFirstChannel], 20);
}

TEST_F(OutputUnderPressureTest, PollAnswersUnderPressureAreDroppedNotKept) {
  Socket().sendBufferFull = true;
  Socket().Deliver(testing::IncomingPoll(0x02), "10.0.0.9");
  Socket().Drain();
  EXPECT_TRUE(Sent().empty());
}

TEST_F(OutputUnderPressureTest, DisableDropsTheWaitingFrameAndTheNextEnableSendsTheValues) {
  Socket().sendBufferFull = true;
  SetNow(1, 10);
  lumenstage::VBool result = 0;
  ASSERT_TRUE(driver.Disable(&result).ok());
  Socket().Drain();
  EXPECT_TRUE(SentDmx().empty());
  EnableDriver();
  SetNow(2, 1);
  ASSERT_EQ(SentDmx().size(), 1u);
  EXPECT_EQ(SentDmx()[0].bytes[kFirstChannel], 10);
}

// A frame refused again when the socket reported space keeps waiting.
TEST_F(OutputUnderPressureTest, FrameRefusedAgainKeepsWaiting) {
  Socket().sendBufferFull = true;
  SetNow(1, 10);
  const auto handler = Socket().writable;
  Socket().writable = [&] {
    Socket().sendBufferFull = true;  // another burst filled it first
    handler();
  };
  Socket().Drain();
  EXPECT_TRUE(SentDmx().empty());
  Socket().writable = handler;
  Socket().Drain();
  ASSERT_EQ(SentDmx().size(), 1u);
  EXPECT_EQ(SentDmx()[0].bytes[kFirstChannel], 10);
}

}  // namespace
}  // namespace artnet
