#include <gtest/gtest.h>

#include <limits>

#include "module_fixture.h"

namespace artnet {
namespace {

using lumenstage::kFalse;
using lumenstage::kTrue;
using lumenstage::VBool;

class PacingTest : public testing::ModuleTest {
 protected:
  void SetUp() override {
    platform.settings.values[{"Lumenstage", "Plugins\\ArtNet.dll", "ArtNet_BroadcastAdress"}] = "10.0.0.255";
    InitDriver();
  }
  VBool Set(std::int32_t channel, std::int32_t value) {
    VBool result = 1;
    const lumenstage::Status status = driver.SetChannel(channel, value, &result);
    EXPECT_TRUE(status.ok()) << "error " << status.error;
    return result;
  }
  int SetError(std::int32_t channel, std::int32_t value) {
    VBool result = 1;
    const lumenstage::Status status = driver.SetChannel(channel, value, &result);
    EXPECT_EQ(result, kFalse);
    return status.error;
  }
  // ArtDmx sent since Enable's announcement.
  std::vector<testing::Bytes> DmxSent() {
    std::vector<testing::Bytes> dmx;
    for (const auto& d : Sent())
      if (d.bytes[9] == 0x50) dmx.push_back(d.bytes);
    return dmx;
  }
  static testing::Bytes Data(const testing::Bytes& packet) { return {packet.begin() + 18, packet.end()}; }
};

TEST_F(PacingTest, ChannelAndValueLimits) {
  EXPECT_EQ(Set(513, 10), kFalse);
  EXPECT_EQ(mod.Output.HighestChannel, 0);
  EXPECT_EQ(mod.Output.Buffer.size(), 1u);

  EXPECT_EQ(SetError(0, 5), 9);
  EXPECT_EQ(SetError(-3, 5), 9);
  EXPECT_EQ(SetError(std::numeric_limits<std::int32_t>::min(), 5), 6);
  EXPECT_EQ(mod.Output.Buffer.size(), 1u);

  // A bad value still grows the buffer, as the channel was seen.
  EXPECT_EQ(SetError(10, 256), 6);
  EXPECT_EQ(mod.Output.HighestChannel, 10);
  EXPECT_EQ(mod.Output.Buffer, testing::Bytes(10, 0));
  EXPECT_EQ(SetError(3, -1), 6);

  EXPECT_EQ(Set(512, 255), kTrue);
  EXPECT_EQ(mod.Output.Buffer.size(), 512u);
  EXPECT_EQ(mod.Output.Buffer[511], 255);
  EXPECT_EQ(Set(5, 200), kTrue);
  EXPECT_EQ(mod.Output.Buffer.size(), 512u);  // never shrinks
}

TEST_F(PacingTest, ValuesGivenWhileDisabledAreKeptAndLeaveAfterEnable) {
  EXPECT_EQ(Set(5, 200), kTrue);
  EXPECT_EQ(mod.Output.Buffer[4], 200);
  EXPECT_FALSE(mod.HasTransport());  // nothing sent, nothing created

  EnableDriver();
  RefreshTimer().Tick();
  ASSERT_EQ(DmxSent().size(), 1u);
  EXPECT_EQ(Data(DmxSent()[0]), (testing::Bytes{0, 0, 0, 0, 200}));
}

TEST_F(PacingTest, BurstLeavesAsOneImmediateAndOneDeferredPacket) {
  EnableDriver();
  Set(200, 1);  // an older value, long before the burst
  platform.clock.timeOfDay += 1.0f;

  for (int ch = 1; ch <= 100; ++ch) Set(ch, ch);  // the clock does not move: one instant

  auto dmx = DmxSent();
  ASSERT_EQ(dmx.size(), 2u);  // the older value's own send, then the burst's first change
  testing::Bytes expectFirst(200, 0);
  expectFirst[0] = 1;
  expectFirst[199] = 1;
  EXPECT_EQ(Data(dmx[1]), expectFirst);
  EXPECT_TRUE(FlushTimer().enabled);

  FlushTimer().Tick();
  dmx = DmxSent();
  ASSERT_EQ(dmx.size(), 3u);
  for (int ch = 1; ch <= 100; ++ch) EXPECT_EQ(Data(dmx[2])[ch - 1], ch);
  EXPECT_EQ(dmx[2][12], dmx[1][12] + 1);  // sequence advances per packet
  EXPECT_FALSE(FlushTimer().enabled);
  FlushTimer().Tick();
  EXPECT_EQ(DmxSent().size(), 3u);
}

TEST_F(PacingTest, WindowEndsAreMeasuredFromTheImmediateSend) {
  EnableDriver();
  platform.clock.timeOfDay = 1000.0f;
  Set(1, 1);  // immediate: window 1000.00 .. 1000.04
  EXPECT_EQ(driver.Stamps().LastSendTime, 1000.0f);
  EXPECT_EQ(driver.Stamps().NextSendTime, static_cast<float>(1000.0 + 0.04));

  platform.clock.timeOfDay = 1000.03f;
  Set(1, 2);
  EXPECT_EQ(DmxSent().size(), 1u);
  EXPECT_TRUE(FlushTimer().enabled);

  platform.clock.timeOfDay = 1000.05f;
  Set(1, 3);  // outside: at once, although the flush is still pending
  EXPECT_EQ(DmxSent().size(), 2u);
  EXPECT_EQ(driver.Stamps().LastSendTime, 1000.05f);
  FlushTimer().Tick();
  EXPECT_EQ(DmxSent().size(), 3u);
}

TEST_F(PacingTest, AReadingBeforeTheLastSendIsSentAtOnce) {
  EnableDriver();
  platform.clock.timeOfDay = 86399.99f;
  Set(1, 1);
  platform.clock.timeOfDay = 0.01f;  // past midnight
  Set(1, 2);
  EXPECT_EQ(DmxSent().size(), 2u);
  EXPECT_FALSE(FlushTimer().enabled);
}

// From 18:12:16 on, single-precision readings move in 1/128 s steps.
TEST_F(PacingTest, StampsAreKeptInSinglePrecision) {
  EnableDriver();
  platform.clock.timeOfDay = 65536.0f;
  Set(1, 1);
  EXPECT_EQ(driver.Stamps().NextSendTime, 65536.0390625f);
  platform.clock.timeOfDay = 65536.0390625f;
  Set(1, 2);
  EXPECT_EQ(DmxSent().size(), 1u);  // the window's end is included
  platform.clock.timeOfDay = 65536.046875f;
  Set(1, 3);
  EXPECT_EQ(DmxSent().size(), 2u);
}

TEST_F(PacingTest, BothReadingsDecideTheWindow) {
  EnableDriver();
  platform.clock.timeOfDay = 500.0f;
  Set(1, 1);
  // The first reading inside, the second one before the last send (clock set back).
  platform.clock.scriptedReadings = {500.01f, 499.0f};
  Set(1, 2);
  EXPECT_EQ(DmxSent().size(), 2u);
}

TEST_F(PacingTest, PeriodicRefreshOnlyWhileEnabled) {
  EnableDriver();
  RefreshTimer().Tick();
  ASSERT_EQ(DmxSent().size(), 1u);
  EXPECT_EQ(DmxSent()[0].size(), 20u);  // channel 1 = 0, padded to two slots
  EXPECT_EQ(RefreshTimer().interval, 4000);
  EXPECT_EQ(FlushTimer().interval, 50);

  VBool result;
  ASSERT_TRUE(driver.Disable(&result).ok());
  RefreshTimer().Tick();
  EXPECT_EQ(DmxSent().size(), 1u);
}

TEST_F(PacingTest, PendingFlushAfterDisableSendsNothing) {
  EnableDriver();
  Set(1, 1);
  Set(1, 2);
  ASSERT_TRUE(FlushTimer().enabled);
  VBool result;
  ASSERT_TRUE(driver.Disable(&result).ok());
  FlushTimer().Tick();
  EXPECT_FALSE(FlushTimer().enabled);
  EXPECT_EQ(DmxSent().size(), 1u);
}

TEST_F(PacingTest, SendUniverseOutOfByteRangeFailsOnlyTheImmediateSend) {
  EnableDriver();
  mod.Settings.SendUniverse = 256;
  const PacingStamps before = driver.Stamps();
  EXPECT_EQ(SetError(4, 9), 6);
  EXPECT_EQ(mod.Output.Buffer[3], 9);
  EXPECT_EQ(DmxSent().size(), 0u);
  EXPECT_EQ(driver.Stamps().LastSendTime, before.LastSendTime);
  RefreshTimer().Tick();  // a tick has nobody to tell: nothing sent, nothing thrown
  EXPECT_EQ(DmxSent().size(), 0u);
}

TEST_F(PacingTest, FailingToArmTheFlushIsReported) {
  EnableDriver();
  Set(1, 1);
  FlushTimer().enableError = 7;
  EXPECT_EQ(SetError(1, 2), 7);
  EXPECT_EQ(mod.Output.Buffer[0], 2);
}

TEST(PacingWithoutInitTest, TickBeforeAnyBufferSendsNothing) {
  fakes::FakePlatform platform;
  ModuleState mod(platform);
  clsOutputDriver driver(mod);
  mod.Settings.BroadcastAddress = "10.0.0.255";
  VBool result;
  ASSERT_TRUE(driver.Enable(&result).ok());
  platform.timers.at(1)->Tick();                // the refresh
  EXPECT_EQ(platform.socket->sent.size(), 1u);  // only the announcement
}

}  // namespace
}  // namespace artnet
