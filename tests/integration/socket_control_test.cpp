// The Qt socket control against real sockets, inside a private network
// namespace: the contract both platforms meet, then what needs the
// namespace's network changed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contract/socket_control_contract.h"
#include "net_support.h"
#include "platform/qt/qt_socket_control.h"

namespace artnet {
namespace contract {
INSTANTIATE_TYPED_TEST_SUITE_P(QtSocketControl, SocketControlContract, itest::QtPlatform);
}  // namespace contract

namespace {

using contract::Bytes;
using contract::kArtNet;
using itest::NetworkChange;
using itest::PumpFor;
using itest::PumpUntil;
using itest::RawUdp;

class SocketControlTest : public testing::Test {
 protected:
  void SetUp() override { SKIP_UNLESS_TEST_NETNS(); }
};

// A flat lighting network has no default route; 255.255.255.255 must still
// leave, through the lighting interface.
TEST_F(SocketControlTest, LimitedBroadcastLeavesWithoutAnyRoute) {
  NetworkChange flat("ip route del default", "ip route add default dev artnet0");
  ASSERT_TRUE(flat.applied());
  RawUdp listener(0, "0.0.0.0");  // hears the local copy of every broadcast
  ASSERT_TRUE(listener.ok());
  QtSocketControl control;
  control.SetLocalPort(0);
  control.SetRemotePort(listener.port());
  control.SetRemoteHost("255.255.255.255");
  for (const char* text : {"first", "second"}) {
    ASSERT_EQ(control.SendData(Bytes(text)), kSockOk) << text;
    const auto got = listener.Receive(2000);
    ASSERT_TRUE(got) << text;
    EXPECT_EQ(got->bytes, Bytes(text));
    EXPECT_EQ(got->senderIp, "10.99.0.1");
  }
  // Without a route and without an interface there is nowhere to go.
  control.SetRemoteHost("192.0.2.1");
  EXPECT_EQ(control.SendData(Bytes("routed only")), kSockErrNetUnreachable);
}

// A slow link (a rate-limited queue on artnet0) lets the send buffer fill:
// the control refuses, and raises Writable once when the queue drains.
TEST_F(SocketControlTest, FullSendBufferIsRefusedAndWritableFollowsWhenItDrains) {
  NetworkChange slow("tc qdisc add dev artnet0 root tbf rate 8kbit burst 1600 limit 100000000",
                     "tc qdisc del dev artnet0 root");
  ASSERT_TRUE(slow.applied());
  QtSocketControl control;
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

  slow.Undo();  // the queued datagrams are dropped and their memory freed
  ASSERT_TRUE(PumpUntil([&] { return writable > 0; }, 3000));
  PumpFor(100);
  EXPECT_EQ(writable, 1);
  EXPECT_EQ(control.SendData(frame), kSockOk);
}

}  // namespace
}  // namespace artnet
