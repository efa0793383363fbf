#include "engine/dispatcher.h"

#include <gtest/gtest.h>

#include <map>

#include "module_fixture.h"

namespace artnet {
namespace {

using testing::Bytes;
using testing::IncomingDmx;
using testing::IncomingPoll;

class DispatcherTest : public testing::ModuleTest {
 protected:
  void SetUp() override {
    InitDriver();
    mod.Settings.BroadcastAddress = "10.0.0.255";
    mod.Settings.ReceiveUniverse = 1;
  }
  void Receive(const Bytes& datagram, const std::string& sender = "10.0.0.9") { Socket().Deliver(datagram, sender); }
  std::vector<std::pair<int, int>> HostCalls() {
    std::vector<std::pair<int, int>> calls;
    for (const auto& c : helper.calls) {
      EXPECT_EQ(c.method, "LMST_DMXIn_SetChannel");
      calls.emplace_back(c.args.at(0), c.args.at(1));
    }
    return calls;
  }
  // The value the host was last told for each channel; a call that reported
  // an error told it nothing.
  std::map<int, int> HostValues() {
    std::map<int, int> values;
    for (std::size_t i = 0; i < helper.calls.size(); ++i) {
      if (static_cast<int>(i) == helper.failAtCall) continue;
      values[helper.calls[i].args.at(0)] = helper.calls[i].args.at(1);
    }
    return values;
  }
  // What the network last said, channels 1..n, as the host should now have it.
  void ExpectHostHas(const Bytes& values) {
    const auto host = HostValues();
    for (std::size_t j = 0; j < values.size(); ++j) {
      const auto told = host.find(static_cast<int>(j + 1));
      EXPECT_EQ(told == host.end() ? 0 : told->second, static_cast<int>(values[j])) << "channel " << j + 1;
    }
  }
  // The host handles `datagram` from its event loop inside helper call number `index`.
  void ReceiveDuringCall(std::size_t index, const Bytes& datagram) {
    helper.onCall = [this, index, datagram](const fakes::RecordingHelper::Call&) {
      if (helper.calls.size() == index + 1) Receive(datagram);
    };
  }
};

TEST_F(DispatcherTest, OnlyExactArtNetIdsAreHandled) {
  Bytes poll = IncomingPoll(0);
  poll[7] = 1;  // "Art-Net" + a non-zero byte
  Receive(poll);
  poll = IncomingPoll(0);
  poll[0] = 'a';
  Receive(poll);
  Receive(Bytes(poll.begin(), poll.begin() + 9));
  poll = IncomingPoll(0);
  std::swap(poll[8], poll[9]);  // OpCode 0x0020
  Receive(poll);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(DispatcherTest, PollIsAnsweredToTheSenderOnlyWhenTalkToMeAsks) {
  Receive(IncomingPoll(0x02), "10.0.0.9");
  Receive(IncomingPoll(0x03), "10.0.0.8");
  Receive(IncomingPoll(0x00), "10.0.0.7");
  Receive(IncomingPoll(0x01), "10.0.0.6");
  Bytes truncated = IncomingPoll(0x02);
  truncated.resize(12);  // TalkToMe missing
  Receive(truncated, "10.0.0.5");
  ASSERT_EQ(Sent().size(), 5u);
  const std::vector<std::string> expected = {"10.0.0.9", "10.0.0.8", "10.0.0.255", "10.0.0.255", "10.0.0.255"};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(Sent()[i].remoteHost, expected[i]);
    EXPECT_EQ(Sent()[i].remotePort, 6454);
    EXPECT_EQ(Sent()[i].bytes.size(), 239u);
  }
}

TEST_F(DispatcherTest, DmxForTheReceiveUniverseNibbleOnly) {
  Receive(IncomingDmx(0x31, 2, {7, 8}, 5));  // any sub-net, any net
  Receive(IncomingDmx(0x02, 2, {9, 9}));
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{1, 7}, {2, 8}}));
}

TEST_F(DispatcherTest, OnlyChangedChannelsReachTheHostInAscendingOrder) {
  Receive(IncomingDmx(0x01, 512, Bytes(512, 0)));  // all zero after load: nothing to tell
  EXPECT_TRUE(helper.calls.empty());

  Bytes data(512, 0);
  data[300] = 5;
  data[2] = 9;
  data[511] = 255;
  Receive(IncomingDmx(0x01, 512, data));
  Receive(IncomingDmx(0x01, 512, data));  // a repeat changes nothing
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{3, 9}, {301, 5}, {512, 255}}));
}

TEST_F(DispatcherTest, LengthFieldDecidesHowManyChannelsAreTaken) {
  auto callsFor = [&](std::uint16_t length) {
    helper.calls.clear();
    mod.Input.Shadow.fill(0);
    mod.Input.Buffer.fill(0);
    Receive(IncomingDmx(0x01, length, Bytes(600, 1)));
    return helper.calls.size();
  };
  EXPECT_EQ(callsFor(0x0200), 512u);
  EXPECT_EQ(callsFor(0x0300), 512u);
  EXPECT_EQ(callsFor(0x0201), 512u);
  EXPECT_EQ(callsFor(0x0001), 1u);
  EXPECT_EQ(callsFor(0x0003), 3u);
  EXPECT_EQ(callsFor(0x0000), 0u);
  EXPECT_EQ(callsFor(0x8000), 0u);
  EXPECT_EQ(callsFor(0xFFFF), 0u);
}

TEST_F(DispatcherTest, DataMissingFromAShortDatagramCountsAsZero) {
  Receive(IncomingDmx(0x01, 512, Bytes(512, 4)));
  helper.calls.clear();
  Bytes shortDmx = IncomingDmx(0x01, 512, Bytes(512, 4));
  shortDmx.resize(100);  // data for channels 1..82 only
  Receive(shortDmx);
  const auto calls = HostCalls();
  ASSERT_EQ(calls.size(), 512u - 82u);
  EXPECT_EQ(calls.front(), std::make_pair(83, 0));
  EXPECT_EQ(calls.back(), std::make_pair(512, 0));
}

TEST_F(DispatcherTest, FailedHostCallLeavesThatChannelAndLaterOnesPending) {
  helper.failAtCall = 1;
  Receive(IncomingDmx(0x01, 3, {1, 2, 3}));
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{1, 1}, {2, 2}}));
  EXPECT_EQ(mod.Input.Buffer[2], 3);  // the packet is stored whole

  helper.calls.clear();
  helper.failAtCall = -1;
  Receive(IncomingDmx(0x01, 3, {1, 2, 3}));
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{2, 2}, {3, 3}}));
}

TEST_F(DispatcherTest, NoHelperObjectDropsThePacketSafely) {
  mod.Input.Helper.Reset(nullptr);
  Receive(IncomingDmx(0x01, 2, {1, 2}));
  mod.Input.Helper.Reset(&helper);
  Receive(IncomingDmx(0x01, 2, {1, 2}));
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{1, 1}, {2, 2}}));
}

TEST_F(DispatcherTest, HostMayCallBackIntoThePlugInFromTheHelperCall) {
  EnableDriver();
  const std::size_t before = Sent().size();
  helper.onCall = [&](const fakes::RecordingHelper::Call& call) {
    lumenstage::VBool result;
    ASSERT_TRUE(driver.SetChannel(call.args[0], call.args[1], &result).ok());
  };
  Receive(IncomingDmx(0x01, 2, {10, 20}));
  EXPECT_EQ(mod.Output.Buffer[0], 10);
  EXPECT_EQ(mod.Output.Buffer[1], 20);
  EXPECT_GT(Sent().size(), before);
  EXPECT_EQ(helper.calls.size(), 2u);
}

// The host may run its event loop inside LMST_DMXIn_SetChannel and so handle a
// newer ArtDmx before the call returns.
TEST_F(DispatcherTest, NewerPacketHandledInsideAHostCallKeepsItsValue) {
  ReceiveDuringCall(0, IncomingDmx(0x01, 1, {20}));
  Receive(IncomingDmx(0x01, 1, {10}));
  Receive(IncomingDmx(0x01, 1, {10}));  // the sender goes back to 10
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{1, 10}, {1, 20}, {1, 10}}));
  ExpectHostHas({10});
}

TEST_F(DispatcherTest, NewerPacketRestoringTheEarlierValueStillReachesTheHost) {
  ReceiveDuringCall(0, IncomingDmx(0x01, 1, {0}));  // back to what the host had before the call
  Receive(IncomingDmx(0x01, 1, {20}));
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{1, 20}, {1, 0}}));
  ExpectHostHas({0});
}

TEST_F(DispatcherTest, ShorterNestedPacketLeavesTheRestToTheOuterOne) {
  // Inside the call for channel 2: a packet for channels 1..3 only.
  ReceiveDuringCall(1, IncomingDmx(0x01, 3, {5, 6, 7}));
  Receive(IncomingDmx(0x01, 4, {1, 2, 3, 4}));
  // Channel 3 was told by the nested packet; channel 4 keeps the outer value.
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{1, 1}, {2, 2}, {1, 5}, {2, 6}, {3, 7}, {4, 4}}));
  ExpectHostHas({5, 6, 7, 4});

  helper.calls.clear();
  helper.onCall = nullptr;
  Receive(IncomingDmx(0x01, 4, {5, 6, 7, 4}));  // the host already has all of it
  Receive(IncomingDmx(0x01, 2, {5, 2}));
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{2, 2}}));
}

TEST_F(DispatcherTest, FailedCallAroundOrInsideANestedPacketKeepsTheValuePending) {
  // The nested packet's call fails: the host still has the outer value.
  helper.failAtCall = 1;
  ReceiveDuringCall(0, IncomingDmx(0x01, 1, {10}));
  Receive(IncomingDmx(0x01, 1, {20}));
  ExpectHostHas({20});
  helper.onCall = nullptr;
  Receive(IncomingDmx(0x01, 1, {10}));
  ExpectHostHas({10});

  // The outer call fails after a nested repeat of its value: offered again.
  helper.calls.clear();
  helper.failAtCall = 0;
  ReceiveDuringCall(0, IncomingDmx(0x01, 1, {30}));
  Receive(IncomingDmx(0x01, 1, {30}));
  helper.onCall = nullptr;
  Receive(IncomingDmx(0x01, 1, {30}));
  ExpectHostHas({30});
}

// The outer call fails after nested packets told the host another value and
// then the outer value again: the host has that value, so a later packet
// going back to the old one must reach it.
TEST_F(DispatcherTest, FailedOuterCallKeepsAValueANestedPacketToldAgain) {
  helper.failAtCall = 0;
  helper.onCall = [this](const fakes::RecordingHelper::Call&) {
    if (helper.calls.size() != 1) return;
    Receive(IncomingDmx(0x01, 1, {30}));
    Receive(IncomingDmx(0x01, 1, {20}));
  };
  Receive(IncomingDmx(0x01, 1, {20}));
  ExpectHostHas({20});
  helper.onCall = nullptr;
  Receive(IncomingDmx(0x01, 1, {0}));
  ExpectHostHas({0});
}

// Channels are compared in blocks: a change on either side of a block's edge
// and at the universe's ends must still reach the host, once.
TEST_F(DispatcherTest, ChangesAtBlockEdgesReachTheHost) {
  Bytes data(512, 0);
  std::vector<std::pair<int, int>> expected;
  for (int channel : {1, 63, 64, 65, 128, 129, 449, 511, 512}) {
    data[channel - 1] = static_cast<std::uint8_t>(channel % 200 + 1);
    expected.emplace_back(channel, channel % 200 + 1);
  }
  Receive(IncomingDmx(0x01, 512, data));
  Receive(IncomingDmx(0x01, 512, data));  // a repeat changes nothing
  EXPECT_EQ(HostCalls(), expected);

  helper.calls.clear();
  data[511] = 0;
  Receive(IncomingDmx(0x01, 512, data));
  data[0] = 0;
  data[64] = 0;
  Receive(IncomingDmx(0x01, 200, data));  // shorter: channels beyond 200 stay as they were
  Receive(IncomingDmx(0x01, 512, data));
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{512, 0}, {1, 0}, {65, 0}}));
}

// A packet handled inside a host call may change channels in blocks the outer
// packet has not reached yet: the host hears each new value once, from the
// nested packet, and the outer packet's older values do not follow.
TEST_F(DispatcherTest, NestedPacketChangingLaterBlocksIsToldOnce) {
  Bytes outer(512, 0);
  outer[0] = 1;
  outer[199] = 9;
  outer[399] = 4;
  Bytes nested(512, 0);
  nested[0] = 5;
  nested[199] = 9;
  nested[299] = 7;
  ReceiveDuringCall(0, IncomingDmx(0x01, 512, nested));
  Receive(IncomingDmx(0x01, 512, outer));
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{1, 1}, {1, 5}, {200, 9}, {300, 7}}));
  ExpectHostHas(nested);

  helper.calls.clear();
  helper.onCall = nullptr;
  Receive(IncomingDmx(0x01, 512, nested));  // the host has all of it
  Receive(IncomingDmx(0x01, 512, outer));
  EXPECT_EQ(HostCalls(), (std::vector<std::pair<int, int>>{{1, 1}, {300, 0}, {400, 4}}));
}

// A host may hand the plug-in a new helper (Init) from inside a helper call,
// dropping the plug-in's reference to the helper whose method is running.
TEST_F(DispatcherTest, HelperReplacedInsideItsOwnCallLivesUntilTheCallReturns) {
  fakes::CountedHelper::Journal first;
  fakes::CountedHelper::Journal second;
  lumenstage::VBool result;
  fakes::CountedHelper* firstHelper = fakes::CountedHelper::Create(first);
  ASSERT_TRUE(driver.Init("Lumenstage", "ArtNet.dll", firstHelper, &result).ok());
  firstHelper->Release();  // the plug-in now holds the only reference
  first.onCall = [&] {
    fakes::CountedHelper* secondHelper = fakes::CountedHelper::Create(second);
    ASSERT_TRUE(driver.Init("Lumenstage", "ArtNet.dll", secondHelper, &result).ok());
    secondHelper->Release();
  };

  Receive(IncomingDmx(0x01, 2, {1, 2}));
  EXPECT_TRUE(first.destroyed);
  EXPECT_FALSE(first.destroyedDuringItsOwnCall);
  EXPECT_EQ(first.calls, 1);
  EXPECT_EQ(second.calls, 1);  // channel 2 goes to the new helper

  mod.Input.Helper.Reset(nullptr);
  EXPECT_TRUE(second.destroyed);
}

TEST_F(DispatcherTest, PollRepliesAreFiledEvenWhenShort) {
  mod.Nodes.Reset();
  testing::ReplyFields fields;
  fields.shortName = "Dimmer";
  Bytes reply = testing::IncomingReply(fields);
  reply.resize(60);
  Receive(reply);
  ASSERT_EQ(mod.Nodes.Count(), 1);
  EXPECT_EQ(mod.Nodes.Entries()[0].ShortName, "Dimmer");
  EXPECT_EQ(mod.Nodes.Entries()[0].NumPorts, 0);
}

// Nothing that arrives may escape the handler.
TEST_F(DispatcherTest, ArbitraryDatagramsNeverThrow) {
  std::uint32_t seed = 12345;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int i = 0; i < 2000; ++i) {
    Bytes datagram = testing::ArtNetHeader(static_cast<std::uint16_t>(i % 3 == 0   ? 0x5000
                                                                      : i % 3 == 1 ? 0x2100
                                                                                   : 0x2000));
    datagram.resize(next() % 700);
    for (std::size_t k = 10; k < datagram.size(); ++k) datagram[k] = static_cast<std::uint8_t>(next());
    EXPECT_NO_THROW(HandleArtNetPacket(mod, datagram, 0x0A000009));
  }
}

}  // namespace
}  // namespace artnet
