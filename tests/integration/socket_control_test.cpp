// The Qt socket control against real sockets, inside a private network namespace.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "net_support.h"
#include "platform/qt/qt_socket_control.h"

namespace artnet {
namespace {

using itest::Bytes;
using itest::NetworkChange;
using itest::PumpFor;
using itest::PumpUntil;
using itest::RawUdp;

constexpr int kArtNet = 6454;

struct Delivery {
  std::string text;
  std::string sender;
};

// Records every DataArrival of a control: its bytes and its sender.
class Recorder {
 public:
  explicit Recorder(QtSocketControl& control) : control_(control) {
    control_.SetDataArrivalHandler([this] { OnArrival(); });
  }
  std::function<void(const Delivery&)> extra;
  std::vector<Delivery> deliveries;

  Delivery Current() {
    std::array<std::uint8_t, 600> buffer{};
    std::size_t length = 0;
    Delivery d;
    EXPECT_EQ(control_.GetData(buffer, length), kSockOk);
    d.text.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EQ(control_.GetRemoteHostIP(d.sender), kSockOk);
    return d;
  }

 private:
  void OnArrival() {
    const Delivery current = Current();  // nested arrivals may grow `deliveries`
    deliveries.push_back(current);
    if (extra) extra(current);
  }
  QtSocketControl& control_;
};

class SocketControlTest : public testing::Test {
 protected:
  void SetUp() override { SKIP_UNLESS_TEST_NETNS(); }
};

TEST_F(SocketControlTest, BindHoldsThePortExclusively) {
  QtSocketControl first;
  QtSocketControl second;
  int state = -1;
  int port = -1;
  ASSERT_EQ(first.Bind(kArtNet), kSockOk);
  EXPECT_EQ(first.GetState(state), kSockOk);
  EXPECT_EQ(state, kSockStateOpen);
  EXPECT_EQ(first.GetLocalPort(port), kSockOk);
  EXPECT_EQ(port, kArtNet);
  EXPECT_EQ(first.Bind(kArtNet), kSockErrWrongState);

  EXPECT_EQ(second.Bind(kArtNet), kSockErrAddressInUse);
  second.GetState(state);
  EXPECT_EQ(state, kSockStateClosed);
  // A send that has to open on a held port meets the same conflict.
  second.SetLocalPort(kArtNet);
  second.SetRemoteHost("127.0.0.1");
  second.SetRemotePort(itest::FreePort());
  EXPECT_EQ(second.SendData(Bytes("x")), kSockErrAddressInUse);
  second.GetState(state);
  EXPECT_EQ(state, kSockStateClosed);

  EXPECT_EQ(first.Close(), kSockOk);
  EXPECT_EQ(first.Close(), kSockOk);  // harmless when closed
  first.GetLocalPort(port);
  EXPECT_EQ(port, kArtNet);  // the value last written while closed
  EXPECT_EQ(second.Bind(kArtNet), kSockOk);
}

TEST_F(SocketControlTest, SendOnClosedControlOpensOnLocalPort) {
  RawUdp listener(0, "127.0.0.1");
  ASSERT_TRUE(listener.ok());
  QtSocketControl control;
  control.SetLocalPort(kArtNet);
  control.SetRemoteHost("127.0.0.1");
  control.SetRemotePort(listener.port());
  ASSERT_EQ(control.SendData(Bytes("hello")), kSockOk);
  int state = -1;
  control.GetState(state);
  EXPECT_EQ(state, kSockStateOpen);
  const auto got = listener.Receive(2000);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->bytes, Bytes("hello"));
  EXPECT_EQ(got->senderPort, kArtNet);

  // LocalPort 0: the system picks a free port, and LocalPort then reports it.
  QtSocketControl anyPort;
  anyPort.SetLocalPort(0);
  anyPort.SetRemoteHost("127.0.0.1");
  anyPort.SetRemotePort(listener.port());
  ASSERT_EQ(anyPort.SendData(Bytes("again")), kSockOk);
  int port = 0;
  EXPECT_EQ(anyPort.GetLocalPort(port), kSockOk);
  const auto second = listener.Receive(2000);
  ASSERT_TRUE(second);
  EXPECT_NE(port, 0);
  EXPECT_NE(port, kArtNet);
  EXPECT_EQ(second->senderPort, port);
}

TEST_F(SocketControlTest, InvalidRemoteHostFailsAndTheNextSendWorks) {
  RawUdp listener(0, "127.0.0.1");
  ASSERT_TRUE(listener.ok());
  QtSocketControl control;
  control.SetRemotePort(listener.port());
  for (const char* bad : {"", "localhost", "not.an.address", "10.99.0", "256.1.1.1", " 127.0.0.1"}) {
    control.SetRemoteHost(bad);
    EXPECT_EQ(control.SendData(Bytes("lost")), kSockErrHostNotFound) << '"' << bad << '"';
  }
  control.SetRemoteHost("127.0.0.1");
  EXPECT_EQ(control.SendData(Bytes("kept")), kSockOk);
  const auto got = listener.Receive(2000);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->bytes, Bytes("kept"));
  EXPECT_FALSE(listener.Receive(100));  // nothing of the failed sends leaked out
}

TEST_F(SocketControlTest, DeliversEachDatagramOnceWithItsDottedSender) {
  QtSocketControl control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  std::array<std::uint8_t, 4> out{};
  std::size_t length = 99;
  EXPECT_EQ(control.GetData(out, length), kSockErrNoData);  // outside a DataArrival
  EXPECT_EQ(length, 0u);

  RawUdp peer;
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, "from loopback"));
  ASSERT_TRUE(peer.SendTo("10.99.0.1", kArtNet, "from the namespace address"));
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, ""));  // an empty datagram is still an arrival
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= 3; }, 2000));
  PumpFor(100);
  ASSERT_EQ(recorder.deliveries.size(), 3u);
  EXPECT_EQ(recorder.deliveries[0].text, "from loopback");
  EXPECT_EQ(recorder.deliveries[0].sender, "127.0.0.1");
  EXPECT_EQ(recorder.deliveries[1].text, "from the namespace address");
  EXPECT_EQ(recorder.deliveries[1].sender, "10.99.0.1");
  EXPECT_EQ(recorder.deliveries[2].text, "");
}

// A flood must not starve the event loop: timers still run between batches,
// and every datagram is still delivered once.
TEST_F(SocketControlTest, FloodIsReadInBatchesThatLetTimersRun) {
  QtSocketControl control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  RawUdp peer;
  constexpr int kDatagrams = 150;  // well within the default receive buffer
  for (int i = 0; i < kDatagrams; ++i) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, std::to_string(i)));

  std::optional<std::size_t> deliveredWhenTimerRan;
  recorder.extra = [&](const Delivery&) {
    if (recorder.deliveries.size() == 1)
      QTimer::singleShot(0, [&] { deliveredWhenTimerRan = recorder.deliveries.size(); });
  };
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= kDatagrams && deliveredWhenTimerRan; }, 5000));
  EXPECT_LT(*deliveredWhenTimerRan, static_cast<std::size_t>(kDatagrams));
  for (int i = 0; i < kDatagrams; ++i) EXPECT_EQ(recorder.deliveries[i].text, std::to_string(i));
}

// Datagrams that cost the host a lot end a wake-up early by time, not only by
// count: the event loop gets its turn between them, and those already taken
// from the kernel are still delivered, once each and in order, even when
// nothing more arrives to wake the notifier.
TEST_F(SocketControlTest, ExpensiveDatagramsEndAWakeUpByTimeAndTheRestStillArrive) {
  QtSocketControl control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  RawUdp peer;
  constexpr int kDatagrams = 12;
  for (int i = 0; i < kDatagrams; ++i) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, std::to_string(i)));

  std::optional<std::size_t> deliveredWhenTimerRan;
  recorder.extra = [&](const Delivery&) {
    if (recorder.deliveries.size() == 1)
      QTimer::singleShot(0, [&] { deliveredWhenTimerRan = recorder.deliveries.size(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(3));  // a host writing hundreds of lines
  };
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= kDatagrams && deliveredWhenTimerRan; }, 5000));
  PumpFor(50);
  EXPECT_LE(*deliveredWhenTimerRan, 3u);
  ASSERT_EQ(recorder.deliveries.size(), static_cast<std::size_t>(kDatagrams));
  for (int i = 0; i < kDatagrams; ++i) EXPECT_EQ(recorder.deliveries[i].text, std::to_string(i));
}

TEST_F(SocketControlTest, GetDataCopiesAtMostTheBufferItIsGiven) {
  QtSocketControl control;
  std::string head;
  std::size_t reported = 0;
  control.SetDataArrivalHandler([&] {
    std::array<std::uint8_t, 4> small{};
    control.GetData(small, reported);
    head.assign(small.begin(), small.begin() + static_cast<std::ptrdiff_t>(reported));
  });
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  RawUdp peer;
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, "0123456789"));
  ASSERT_TRUE(PumpUntil([&] { return reported != 0; }, 2000));
  EXPECT_EQ(reported, 4u);
  EXPECT_EQ(head, "0123");
}

TEST_F(SocketControlTest, BroadcastsWorkWithoutBeingAsked) {
  RawUdp listener(0, "0.0.0.0");
  ASSERT_TRUE(listener.ok());
  QtSocketControl sender;
  sender.SetRemotePort(listener.port());
  for (const char* broadcast : {"255.255.255.255", "10.99.0.255"}) {
    sender.SetRemoteHost(broadcast);
    ASSERT_EQ(sender.SendData(Bytes(broadcast)), kSockOk) << broadcast;
    const auto got = listener.Receive(2000);
    ASSERT_TRUE(got) << broadcast;
    EXPECT_EQ(got->bytes, Bytes(broadcast));
  }

  // A control bound to the port hears its own broadcast, as the endpoint expects.
  QtSocketControl node;
  Recorder recorder(node);
  ASSERT_EQ(node.Bind(kArtNet), kSockOk);
  node.SetRemotePort(kArtNet);
  node.SetRemoteHost("255.255.255.255");
  ASSERT_EQ(node.SendData(Bytes("poll")), kSockOk);
  ASSERT_TRUE(PumpUntil([&] { return !recorder.deliveries.empty(); }, 2000));
  EXPECT_EQ(recorder.deliveries[0].text, "poll");
  EXPECT_EQ(recorder.deliveries[0].sender, "10.99.0.1");
}

// A host helper that pumps events for every value it is given: each new
// datagram would nest one level deeper until the stack overflows. Nesting
// stops at its bound, and every datagram still arrives once, in order.
TEST_F(SocketControlTest, HandlersThatAllPumpNestBoundedlyAndLoseNothing) {
  QtSocketControl control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  int depth = 0, deepest = 0;
  recorder.extra = [&](const Delivery&) {
    deepest = std::max(deepest, ++depth);
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
    --depth;
  };
  RawUdp peer;
  constexpr int kDatagrams = 60;
  std::string expected;
  for (int i = 0; i < kDatagrams; ++i) {
    expected += std::to_string(i % 10);
    ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, std::to_string(i % 10)));
  }
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= kDatagrams && depth == 0; }, 20000));
  EXPECT_EQ(deepest, kMaxDeliveryDepth);
  std::string order;
  for (const auto& d : recorder.deliveries) order += d.text;
  EXPECT_EQ(order, expected);
}

// A handler that runs a nested event loop (as the scan and the warning box
// do) must not lose, repeat or reorder datagrams, and must find its own
// datagram still current when the nested loop returns.
TEST_F(SocketControlTest, NestedEventLoopInsideTheHandlerDeliversEachDatagramOnceInOrder) {
  QtSocketControl control;
  Recorder recorder(control);
  RawUdp peer;
  Delivery afterNested;
  bool nested = false;
  recorder.extra = [&](const Delivery& d) {
    if (nested) return;
    nested = true;
    // Two more arrive while the nested loop runs.
    peer.SendTo("127.0.0.1", kArtNet, "5");
    peer.SendTo("127.0.0.1", kArtNet, "6");
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    afterNested = recorder.Current();
    EXPECT_EQ(afterNested.text, d.text);
  };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  for (const char* n : {"0", "1", "2", "3", "4"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= 7; }, 3000));
  PumpFor(100);
  std::string order;
  for (const auto& d : recorder.deliveries) order += d.text;
  EXPECT_EQ(order, "0123456");
  EXPECT_EQ(afterNested.text, "0");
  EXPECT_EQ(afterNested.sender, "127.0.0.1");
  std::array<std::uint8_t, 4> out{};
  std::size_t length = 0;
  EXPECT_EQ(control.GetData(out, length), kSockErrNoData);  // nothing current once all handlers returned
}

TEST_F(SocketControlTest, CloseInsideTheHandlerStopsReadingSafely) {
  QtSocketControl control;
  Recorder recorder(control);
  recorder.extra = [&](const Delivery&) { control.Close(); };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  RawUdp peer;
  for (const char* n : {"a", "b", "c"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(PumpUntil([&] { return !recorder.deliveries.empty(); }, 2000));
  PumpFor(100);  // lets the retired notifier be deleted
  ASSERT_EQ(recorder.deliveries.size(), 1u);
  EXPECT_EQ(recorder.deliveries[0].text, "a");
  int state = -1;
  control.GetState(state);
  EXPECT_EQ(state, kSockStateClosed);

  // Close and re-open inside one handler: the old queue is gone, the new socket reads.
  recorder.deliveries.clear();
  recorder.extra = [&](const Delivery& d) {
    if (d.text != "reopen") return;
    control.Close();
    control.Bind(kArtNet);
  };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  for (const char* n : {"reopen", "dropped with the old socket"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(PumpUntil([&] { return !recorder.deliveries.empty(); }, 2000));
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, "new"));
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= 2; }, 2000));
  PumpFor(100);
  ASSERT_EQ(recorder.deliveries.size(), 2u);
  EXPECT_EQ(recorder.deliveries[1].text, "new");
}

// Datagrams read ahead belong to the socket they came from: a close inside
// a nested loop drops them, the outer handler still finds its own datagram,
// and a control destroyed inside a nested handler leaves nothing dangling.
TEST_F(SocketControlTest, CloseOrDestructionInsideANestedLoopDropsWhatWasReadAhead) {
  RawUdp peer;
  {
    QtSocketControl control;
    Recorder recorder(control);
    Delivery outerAfterNested;
    recorder.extra = [&](const Delivery& d) {
      if (d.text == "a") {
        QEventLoop loop;
        QTimer::singleShot(200, &loop, &QEventLoop::quit);
        loop.exec();
        outerAfterNested = recorder.Current();
      } else if (d.text == "b") {
        control.Close();
      }
    };
    ASSERT_EQ(control.Bind(kArtNet), kSockOk);
    for (const char* n : {"a", "b", "c", "d"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
    ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= 2; }, 2000));
    PumpFor(100);
    std::string order;
    for (const auto& d : recorder.deliveries) order += d.text;
    EXPECT_EQ(order, "ab");
    EXPECT_EQ(outerAfterNested.text, "a");
  }

  auto control = std::make_unique<QtSocketControl>();
  int deliveries = 0;
  control->SetDataArrivalHandler([&] {
    if (++deliveries == 1) {
      QEventLoop loop;
      QTimer::singleShot(200, &loop, &QEventLoop::quit);
      loop.exec();  // the nested level destroys the control
    } else {
      control.reset();
    }
  });
  ASSERT_EQ(control->Bind(kArtNet), kSockOk);
  for (const char* n : {"1", "2", "3", "4"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(PumpUntil([&] { return control == nullptr; }, 2000));
  PumpFor(100);  // lets the deferred deletions run
  EXPECT_EQ(deliveries, 2);
}

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

// The namespace has loopback and artnet0 (10.99.0.1/24, the default route).
TEST_F(SocketControlTest, LocalIPIsTheAddressOfTheInterfaceTowardsTheDestination) {
  QtSocketControl control;
  const std::pair<const char*, const char*> cases[] = {
      {"10.99.0.255", "10.99.0.1"},     {"10.99.0.7", "10.99.0.1"},       {"127.0.0.1", "127.0.0.1"},
      {"127.255.255.255", "127.0.0.1"}, {"255.255.255.255", "10.99.0.1"},  // by the route
      {"192.0.2.1", "10.99.0.1"},       {"not an address", "10.99.0.1"},   // the first one up
  };
  for (const auto& [towards, expected] : cases) {
    std::string ip;
    ASSERT_EQ(control.GetLocalIP(towards, ip), kSockOk) << towards;
    EXPECT_EQ(ip, expected) << towards;
  }
}

}  // namespace
}  // namespace artnet
