// The endpoint routines of the engine on the real Linux platform layer.
#include "engine/endpoint.h"

#include <gtest/gtest.h>

#include "engine/connection.h"
#include "engine/module_state.h"
#include "engine/senders.h"
#include "engine/transport.h"
#include "fakes/fake_platform.h"
#include "net_support.h"
#include "platform/qt/ini_settings_store.h"
#include "platform/qt/qt_datagram_socket.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/system_clock.h"
#include "protocol/packets.h"

namespace artnet {
namespace {

using itest::Bytes;
using itest::RawUdp;

// The Qt platform with the warning box replaced by a recorder.
class RecordingQtPlatform final : public Platform {
 public:
  std::unique_ptr<DatagramSocket> CreateDatagramSocket() override { return std::make_unique<QtDatagramSocket>(); }
  std::unique_ptr<Timer> CreateTimer() override { return std::make_unique<QtTimer>(); }
  Clock& GetClock() override { return clock; }
  SettingsStore& Settings() override { return settings; }
  WarningBox& Messages() override { return messages; }
  EventPump& Pump() override { return pump; }
  DialogRunner& Dialogs() override { return dialogs; }

  SystemClock clock;
  IniSettingsStore settings;
  fakes::RecordingWarningBox messages;
  QtEventPump pump;
  fakes::FakeDialogRunner dialogs;
};

class EndpointOnQtTest : public testing::Test {
 protected:
  void SetUp() override {
    SKIP_UNLESS_TEST_NETNS();
    mod.Settings.BroadcastAddress = "10.99.0.255";
    Connect(mod);  // the engine's routines are driven directly, without an Enable
  }
  void Send(const std::string& text) { SendArtNetPacket(mod, ParseDestination("127.0.0.1"), Bytes(text)); }
  bool Open() const { return mod.Endpoint.OpenOn.has_value(); }
  // The port the socket is open on, or the one it opens on next.
  int LocalPort() const { return mod.Endpoint.OpenOn.value_or(mod.Endpoint.NextPort); }

  RecordingQtPlatform platform;
  ModuleState mod{platform};
};

TEST_F(EndpointOnQtTest, PortHeldElsewhereWarnsOnceKeepsSendingAndReturnsWhenFreed) {
  RawUdp holder(kArtNetPort, "0.0.0.0");
  ASSERT_TRUE(holder.ok());
  OpenArtNetSocket(mod);  // the bind fails silently
  EXPECT_FALSE(Open());
  EXPECT_TRUE(platform.messages.shown.empty());

  for (const std::string text : {"one", "two", "three", "four"}) {
    Send(text);
    const auto got = holder.Receive(2000);
    ASSERT_TRUE(got) << text;
    EXPECT_EQ(got->bytes, Bytes(text));
    EXPECT_NE(got->senderPort, kArtNetPort);
  }
  ASSERT_EQ(platform.messages.shown.size(), 1u);
  EXPECT_EQ(platform.messages.shown[0], kPortInUseWarning);

  // Released: the send after the one that leaves the free port binds 6454 again.
  holder.Release();
  Send("five");
  if (LocalPort() != kArtNetPort) Send("six");
  EXPECT_TRUE(Open());
  EXPECT_EQ(LocalPort(), kArtNetPort);
  EXPECT_EQ(platform.messages.shown.size(), 1u);

  // Back on the Art-Net port the warning is re-armed for a new conflict.
  CloseArtNetSocket(mod);
  RawUdp secondHolder(kArtNetPort, "0.0.0.0");
  ASSERT_TRUE(secondHolder.ok());
  Send("seven");
  EXPECT_TRUE(secondHolder.Receive(2000));
  EXPECT_EQ(platform.messages.shown.size(), 2u);
}

// With the port free the node hears its own poll, answers it, and files its
// own reply: the whole receive road over real sockets.
TEST_F(EndpointOnQtTest, OpenNodeHearsItsOwnPollAndFilesItsReply) {
  OpenArtNetSocket(mod);
  ASSERT_TRUE(Open());
  ASSERT_EQ(LocalPort(), kArtNetPort);
  const ArtPollPacket poll = BuildArtPoll();
  SendArtNetPacket(mod, ParseDestination("127.0.0.1"), poll);
  ASSERT_TRUE(itest::PumpUntil([&] { return mod.Nodes.Count() > 0; }, 3000));
  EXPECT_EQ(mod.Nodes.Count(), 1);
  EXPECT_EQ(LocalPort(), kArtNetPort);
  EXPECT_TRUE(platform.messages.shown.empty());
  CloseArtNetSocket(mod);
  EXPECT_FALSE(Open());
}

// A slow link fills the send buffer with poll answers; the ArtDmx that
// meets the full buffer waits and leaves once it drains. The node hears its
// own broadcast on its receive universe, so the host sees the frame arrive.
TEST_F(EndpointOnQtTest, ArtDmxRefusedByAFullSendBufferLeavesWhenItDrains) {
  fakes::RecordingHelper helper;
  mod.Input.Helper.Reset(&helper);
  mod.Settings.ReceiveUniverse = 3;
  OpenArtNetSocket(mod);
  ASSERT_EQ(LocalPort(), kArtNetPort);
  auto slow = itest::SlowLink();
  ASSERT_TRUE(slow.applied());
  for (int i = 0; i < 2000 && !mod.Endpoint.Pending.waiting; ++i) {
    SendPollReply(mod, mod.Settings.BroadcastAddress.Address());
    // A probe frame on a universe the host does not hear tells when the buffer is full.
    if (i % 100 == 99) SendArtDmx(mod, 5, Bytes("probe"));
  }
  const std::uint8_t channels[] = {77, 78};
  SendArtDmx(mod, 3, channels);
  ASSERT_TRUE(mod.Endpoint.Pending.waiting);
  itest::PumpFor(100);
  EXPECT_TRUE(helper.calls.empty());

  slow.Undo();
  ASSERT_TRUE(itest::PumpUntil([&] { return helper.calls.size() >= 2; }, 3000));
  EXPECT_FALSE(mod.Endpoint.Pending.waiting);
  EXPECT_EQ(helper.calls[0].args, (std::vector<std::int32_t>{1, 77}));
  EXPECT_EQ(helper.calls[1].args, (std::vector<std::int32_t>{2, 78}));
  mod.Input.Helper.Reset(nullptr);
  CloseArtNetSocket(mod);
}

}  // namespace
}  // namespace artnet
