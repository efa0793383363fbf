// Socket control cases on a changed network, run by changed-network.sh in
// a namespace of their own: without any route, and behind a slow link.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_socket_control.h"
#include "support.h"

namespace artnet {
namespace {

using wtest::Bytes;
using wtest::PumpFor;
using wtest::PumpUntil;
using wtest::RawUdp;

constexpr int kArtNet = 6454;

// The namespace has loopback and artnet0 (10.99.0.1/24) and no route at all
// beyond their own networks.
class Win32SocketControlRoutelessTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!wtest::Flag("ARTNET_TEST_ROUTELESS")) GTEST_SKIP() << "run by changed-network.sh (ARTNET_TEST_ROUTELESS=1)";
  }
};

TEST_F(Win32SocketControlRoutelessTest, LimitedBroadcastLeavesThroughTheLightingInterface) {
  RawUdp listener(0, "0.0.0.0");  // hears the local copy of every broadcast
  ASSERT_TRUE(listener.ok());
  Win32SocketControl control;
  control.SetLocalPort(0);
  control.SetRemotePort(listener.port());
  control.SetRemoteHost("255.255.255.255");
  for (const char* text : {"first", "second"}) {  // the second through the interface found for the first
    ASSERT_EQ(control.SendData(Bytes(text)), kSockOk) << text;
    const auto got = listener.Receive(2000);
    ASSERT_TRUE(got) << text;
    EXPECT_EQ(got->bytes, Bytes(text));
    EXPECT_EQ(got->senderIp, "10.99.0.1");
  }
  // The interface named for the broadcast does not stick to other sends:
  // an answer to a sender on loopback still arrives.
  control.SetRemoteHost("127.0.0.1");
  ASSERT_EQ(control.SendData(Bytes("unicast")), kSockOk);
  const auto unicast = listener.Receive(2000);
  ASSERT_TRUE(unicast);
  EXPECT_EQ(unicast->bytes, Bytes("unicast"));
  // Without a route there is nowhere else to go.
  control.SetRemoteHost("192.0.2.1");
  EXPECT_EQ(control.SendData(Bytes("routed only")), kSockErrNetUnreachable);

  // The local address for the broadcast: no route picks one, so the first
  // interface up that is not loopback.
  std::string ip;
  ASSERT_EQ(control.GetLocalIP("255.255.255.255", ip), kSockOk);
  EXPECT_EQ(ip, "10.99.0.1");
}

// A console PC on two networks: artnet0 (10.99.0.1/24, lighting) and
// office0 (192.168.77.1/24) holding the default route. The first interface
// up is not the answer for either network.
TEST(Win32SocketControlMultiHomedTest, LocalIPFollowsTheDestinationsNetworkThenTheRoute) {
  if (!wtest::Flag("ARTNET_TEST_MULTIHOMED")) GTEST_SKIP() << "run by changed-network.sh (ARTNET_TEST_MULTIHOMED=1)";
  Win32SocketControl control;
  const std::pair<const char*, const char*> cases[] = {
      {"10.99.0.255", "10.99.0.1"},       {"10.99.0.7", "10.99.0.1"},
      {"192.168.77.255", "192.168.77.1"}, {"255.255.255.255", "192.168.77.1"},  // by the route
      {"192.0.2.1", "192.168.77.1"},
  };
  for (const auto& [towards, expected] : cases) {
    std::string ip;
    ASSERT_EQ(control.GetLocalIP(towards, ip), kSockOk) << towards;
    EXPECT_EQ(ip, expected) << towards;
  }
}

// artnet0 sends at 8 kbit/s with a deep queue, so the socket's send buffer fills.
class Win32SocketControlSlowLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!wtest::Flag("ARTNET_TEST_SLOW_LINK")) GTEST_SKIP() << "run by changed-network.sh (ARTNET_TEST_SLOW_LINK=1)";
  }
};

TEST_F(Win32SocketControlSlowLinkTest, AFullSendBufferIsRefusedAndWritableFollowsOnceWhenItDrains) {
  Win32SocketControl control;
  int writable = 0;
  control.SetWritableHandler([&] { ++writable; });
  control.SetLocalPort(0);
  control.SetRemotePort(kArtNet);
  control.SetRemoteHost("10.99.0.255");
  const std::vector<std::uint8_t> frame(530, 0);
  int result = kSockOk;
  for (int sends = 0; result == kSockOk && sends < 100000; ++sends) result = control.SendData(frame);
  ASSERT_EQ(result, kSockErrWouldBlock);
  EXPECT_EQ(control.SendData(frame), kSockErrWouldBlock);
  PumpFor(100);
  EXPECT_EQ(writable, 0);

  // The script removes the slow queue once asked; its datagrams are dropped
  // and the buffer empties.
  const char* drain = std::getenv("ARTNET_TEST_DRAIN_FILE");
  ASSERT_NE(drain, nullptr);
  std::FILE* request = std::fopen(drain, "w");
  ASSERT_NE(request, nullptr);
  std::fclose(request);
  ASSERT_TRUE(PumpUntil([&] { return writable > 0; }, 10000));
  PumpFor(100);
  EXPECT_EQ(writable, 1);
  EXPECT_EQ(control.SendData(frame), kSockOk);
  PumpFor(100);
  EXPECT_EQ(writable, 1);  // only a refused send is owed a Writable
}

}  // namespace
}  // namespace artnet
