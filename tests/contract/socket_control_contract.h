// The socket control's contract, against real sockets inside a private
// network namespace (loopback, and artnet0 10.99.0.1/24 carrying the default
// route). Each platform instantiates it once, in one file of its test
// program, with a type that names its parts and runs its event loop:
//   SocketControl, Timer                  the platform's own
//   RawUdp                                a plain UDP socket playing the other program:
//                                         RawUdp(port, ip, share), ok(), port(), SendTo(ip, port, text),
//                                         Receive(timeoutMs)
//   InTestNetns(), FreePort()
//   PumpUntil(done, timeoutMs), PumpFor(ms)
//   NestedLoop(ms)                        a nested event loop, as the scan and the warning box run one
//   PostToLoop(action)                    runs `action` once the events already queued are handled
//   Routeless(), MultiHomed(), SlowLink() the namespace's network changed for one case (see each
//                                         case); the result has applied() (false: not changed here,
//                                         the case is skipped) and Undo() (the slow queue goes)
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/interfaces/socket_control.h"

namespace artnet::contract {

inline constexpr int kArtNet = 6454;

inline std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// Where a platform cannot change the network from inside its test program,
// a script of its own runs these cases.
inline constexpr const char* kChangedNetworkOnly = "runs where the network is changed for it";

template <typename Platform>
using Control = typename Platform::SocketControl;
template <typename Platform>
using Peer = typename Platform::RawUdp;

struct Delivery {
  std::string text;
  std::string sender;
};

// Records every DataArrival of a control: its bytes and its sender.
class Recorder {
 public:
  explicit Recorder(SocketControl& control) : control_(control) {
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
  std::string Order() const {
    std::string order;
    for (const auto& d : deliveries) order += d.text;
    return order;
  }

 private:
  void OnArrival() {
    const Delivery current = Current();  // nested arrivals may grow `deliveries`
    deliveries.push_back(current);
    if (extra) extra(current);
  }
  SocketControl& control_;
};

template <typename Platform>
class SocketControlContract : public testing::Test {
 protected:
  void SetUp() override {
    if (!Platform::InTestNetns()) GTEST_SKIP() << "needs ARTNET_TEST_NETNS=1 (private network namespace)";
  }
};

TYPED_TEST_SUITE_P(SocketControlContract);

TYPED_TEST_P(SocketControlContract, BindHoldsThePortExclusively) {
  Control<TypeParam> first;
  Control<TypeParam> second;
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
  second.SetRemotePort(TypeParam::FreePort());
  EXPECT_EQ(second.SendData(Bytes("x")), kSockErrAddressInUse);
  second.GetState(state);
  EXPECT_EQ(state, kSockStateClosed);
  // Nor does another program that asks to share the port (SO_REUSEADDR).
  Peer<TypeParam> sharing(kArtNet, "0.0.0.0", true);
  EXPECT_FALSE(sharing.ok());

  EXPECT_EQ(first.Close(), kSockOk);
  EXPECT_EQ(first.Close(), kSockOk);  // harmless when closed
  first.GetLocalPort(port);
  EXPECT_EQ(port, kArtNet);  // the value last written while closed
  EXPECT_EQ(second.Bind(kArtNet), kSockOk);
}

TYPED_TEST_P(SocketControlContract, SendOnAClosedControlOpensOnLocalPort) {
  Peer<TypeParam> listener(0, "127.0.0.1");
  ASSERT_TRUE(listener.ok());
  Control<TypeParam> control;
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
  Control<TypeParam> anyPort;
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

TYPED_TEST_P(SocketControlContract, OnlyStrictDottedAddressesAreSentTo) {
  Peer<TypeParam> listener(0, "127.0.0.1");
  ASSERT_TRUE(listener.ok());
  Control<TypeParam> control;
  control.SetRemotePort(listener.port());
  for (const char* bad : {"", "localhost", "not.an.address", "10.99.0", "256.1.1.1", " 127.0.0.1", "127.0.0.1 ",
                          "127.0.0.01", "127.0.0.1.", "1.2.3.4.5", "0x7f.0.0.1", "127.0.0.-1"}) {
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

TYPED_TEST_P(SocketControlContract, DeliversEachDatagramOnceWithItsDottedSender) {
  Control<TypeParam> control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  std::array<std::uint8_t, 4> out{};
  std::size_t length = 99;
  EXPECT_EQ(control.GetData(out, length), kSockErrNoData);  // outside a DataArrival
  EXPECT_EQ(length, 0u);
  std::string ip = "x";
  EXPECT_EQ(control.GetRemoteHostIP(ip), kSockErrNoData);
  EXPECT_EQ(ip, "");

  Peer<TypeParam> peer;
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, "from loopback"));
  ASSERT_TRUE(peer.SendTo("10.99.0.1", kArtNet, "from the namespace address"));
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, ""));  // an empty datagram is still an arrival
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= 3; }, 2000));
  TypeParam::PumpFor(100);
  ASSERT_EQ(recorder.deliveries.size(), 3u);
  EXPECT_EQ(recorder.deliveries[0].text, "from loopback");
  EXPECT_EQ(recorder.deliveries[0].sender, "127.0.0.1");
  EXPECT_EQ(recorder.deliveries[1].text, "from the namespace address");
  EXPECT_EQ(recorder.deliveries[1].sender, "10.99.0.1");
  EXPECT_EQ(recorder.deliveries[2].text, "");
}

TYPED_TEST_P(SocketControlContract, GetDataCopiesAtMostTheBufferItIsGiven) {
  Control<TypeParam> control;
  std::string head;
  std::size_t reported = 0;
  control.SetDataArrivalHandler([&] {
    std::array<std::uint8_t, 4> small{};
    control.GetData(small, reported);
    head.assign(small.begin(), small.begin() + static_cast<std::ptrdiff_t>(reported));
  });
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  Peer<TypeParam> peer;
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, "0123456789"));
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return reported != 0; }, 2000));
  EXPECT_EQ(reported, 4u);
  EXPECT_EQ(head, "0123");
}

// An exception escaping an event loop's callback ends the process on some
// platforms (a 32-bit host on Windows): a handler that throws loses its own
// datagram or tick, nothing more.
TYPED_TEST_P(SocketControlContract, HandlersThatThrowLoseOnlyTheirOwnEvent) {
  Control<TypeParam> control;
  Recorder recorder(control);
  recorder.extra = [](const Delivery& d) {
    if (d.text == "throw") throw std::runtime_error("handler failed");
  };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  auto timer = std::make_unique<typename TypeParam::Timer>();
  int ticks = 0;
  timer->SetInterval(10);
  timer->SetTickHandler([&] {
    if (++ticks == 1) throw 42;
  });
  ASSERT_EQ(timer->SetEnabled(true), 0);
  Peer<TypeParam> peer;
  for (const char* n : {"throw", "after"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= 2 && ticks >= 2; }, 2000));
  EXPECT_EQ(recorder.Order(), "throwafter");
}

// A flood must not starve the event loop: other work runs between the
// datagrams, and every datagram is still delivered once, in order.
TYPED_TEST_P(SocketControlContract, AFloodLetsOtherWorkRunAndEveryDatagramArrivesOnce) {
  Control<TypeParam> control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  Peer<TypeParam> peer;
  constexpr int kDatagrams = 150;  // well within the default receive buffer
  for (int i = 0; i < kDatagrams; ++i) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, std::to_string(i)));

  std::optional<std::size_t> deliveredWhenOtherRan;
  recorder.extra = [&](const Delivery&) {
    if (recorder.deliveries.size() == 1)
      TypeParam::PostToLoop([&] { deliveredWhenOtherRan = recorder.deliveries.size(); });
  };
  ASSERT_TRUE(
      TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= kDatagrams && deliveredWhenOtherRan; }, 5000));
  TypeParam::PumpFor(50);
  EXPECT_LT(*deliveredWhenOtherRan, static_cast<std::size_t>(kDatagrams));
  ASSERT_EQ(recorder.deliveries.size(), static_cast<std::size_t>(kDatagrams));
  for (int i = 0; i < kDatagrams; ++i) EXPECT_EQ(recorder.deliveries[i].text, std::to_string(i));
}

// Datagrams that cost the host a lot end a wake-up early by time, not only
// by count: the event loop gets its turn between them, and the rest still
// arrive, once each and in order, even when nothing more comes to wake it.
TYPED_TEST_P(SocketControlContract, ExpensiveDatagramsEndAWakeUpByTimeAndTheRestStillArrive) {
  Control<TypeParam> control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  Peer<TypeParam> peer;
  constexpr int kDatagrams = 12;
  for (int i = 0; i < kDatagrams; ++i) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, std::to_string(i)));

  std::optional<std::size_t> deliveredWhenOtherRan;
  recorder.extra = [&](const Delivery&) {
    if (recorder.deliveries.size() == 1)
      TypeParam::PostToLoop([&] { deliveredWhenOtherRan = recorder.deliveries.size(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(3));  // a host writing hundreds of lines
  };
  ASSERT_TRUE(
      TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= kDatagrams && deliveredWhenOtherRan; }, 5000));
  TypeParam::PumpFor(50);
  EXPECT_LE(*deliveredWhenOtherRan, 3u);
  ASSERT_EQ(recorder.deliveries.size(), static_cast<std::size_t>(kDatagrams));
  for (int i = 0; i < kDatagrams; ++i) EXPECT_EQ(recorder.deliveries[i].text, std::to_string(i));
}

TYPED_TEST_P(SocketControlContract, BroadcastsWorkWithoutBeingAsked) {
  Peer<TypeParam> listener(0, "0.0.0.0");
  ASSERT_TRUE(listener.ok());
  Control<TypeParam> sender;
  sender.SetRemotePort(listener.port());
  for (const char* broadcast : {"255.255.255.255", "10.99.0.255"}) {
    sender.SetRemoteHost(broadcast);
    ASSERT_EQ(sender.SendData(Bytes(broadcast)), kSockOk) << broadcast;
    const auto got = listener.Receive(2000);
    ASSERT_TRUE(got) << broadcast;
    EXPECT_EQ(got->bytes, Bytes(broadcast));
  }

  // A control bound to the port hears its own broadcast, as the endpoint expects.
  Control<TypeParam> node;
  Recorder recorder(node);
  ASSERT_EQ(node.Bind(kArtNet), kSockOk);
  node.SetRemotePort(kArtNet);
  node.SetRemoteHost("255.255.255.255");
  ASSERT_EQ(node.SendData(Bytes("poll")), kSockOk);
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return !recorder.deliveries.empty(); }, 2000));
  EXPECT_EQ(recorder.deliveries[0].text, "poll");
  EXPECT_EQ(recorder.deliveries[0].sender, "10.99.0.1");
}

// A host helper that pumps events for every value it is given: each new
// datagram would nest one level deeper until the stack overflows. Nesting
// stops at its bound, and every datagram still arrives once, in order.
TYPED_TEST_P(SocketControlContract, HandlersThatAllPumpNestBoundedlyAndLoseNothing) {
  Control<TypeParam> control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  int depth = 0, deepest = 0;
  recorder.extra = [&](const Delivery&) {
    deepest = std::max(deepest, ++depth);
    TypeParam::NestedLoop(10);
    --depth;
  };
  Peer<TypeParam> peer;
  constexpr int kDatagrams = 60;
  std::string expected;
  for (int i = 0; i < kDatagrams; ++i) {
    expected += std::to_string(i % 10);
    ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, std::to_string(i % 10)));
  }
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= kDatagrams && depth == 0; }, 20000));
  EXPECT_EQ(deepest, kMaxDeliveryDepth);
  EXPECT_EQ(recorder.Order(), expected);
}

// A flood keeps the socket readable for as long as it lasts (on Windows a
// read notification always waits in the queue, and the system makes WM_TIMER
// only for an empty queue): the timers must still tick, ours (the flush and
// the refresh of the output) and the host's own.
TYPED_TEST_P(SocketControlContract, TimersKeepTickingWhileAFloodKeepsTheQueueBusy) {
  Control<TypeParam> control;
  Recorder recorder(control);
  // Dearer than the flood's pace: the socket never runs dry.
  recorder.extra = [](const Delivery&) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  const typename TypeParam::HostTimer hostTimer(20);
  const auto timer = std::make_unique<typename TypeParam::Timer>();
  int ticks = 0;
  timer->SetTickHandler([&] { ++ticks; });
  timer->SetInterval(20);
  ASSERT_EQ(timer->SetEnabled(true), 0);

  std::atomic<bool> flooding = true;
  std::thread flood([&] {
    Peer<TypeParam> peer;
    while (flooding) peer.SendTo("127.0.0.1", kArtNet, "x");
  });
  TypeParam::PumpFor(1000);
  flooding = false;
  flood.join();
  EXPECT_GT(recorder.deliveries.size(), 100u);
  EXPECT_GE(ticks, 25);              // about 50 when the loop is idle
  EXPECT_GE(hostTimer.ticks(), 10);  // 0 when starved
}

// A handler that runs a nested event loop must not lose, repeat or reorder
// datagrams, and must find its own datagram still current when the nested
// loop returns.
TYPED_TEST_P(SocketControlContract, ANestedLoopInsideTheHandlerDeliversEachDatagramOnceInOrder) {
  Control<TypeParam> control;
  Recorder recorder(control);
  Peer<TypeParam> peer;
  Delivery afterNested;
  bool nested = false;
  recorder.extra = [&](const Delivery& d) {
    if (nested) return;
    nested = true;
    // Two more arrive while the nested loop runs.
    peer.SendTo("127.0.0.1", kArtNet, "5");
    peer.SendTo("127.0.0.1", kArtNet, "6");
    TypeParam::NestedLoop(300);
    afterNested = recorder.Current();
    EXPECT_EQ(afterNested.text, d.text);
  };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  for (const char* n : {"0", "1", "2", "3", "4"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= 7; }, 3000));
  TypeParam::PumpFor(100);
  EXPECT_EQ(recorder.Order(), "0123456");
  EXPECT_EQ(afterNested.text, "0");
  EXPECT_EQ(afterNested.sender, "127.0.0.1");
  std::array<std::uint8_t, 4> out{};
  std::size_t length = 0;
  EXPECT_EQ(control.GetData(out, length), kSockErrNoData);  // nothing current once all handlers returned
}

TYPED_TEST_P(SocketControlContract, CloseOrRebindInsideTheHandlerIsSafe) {
  Control<TypeParam> control;
  Recorder recorder(control);
  recorder.extra = [&](const Delivery&) { control.Close(); };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  Peer<TypeParam> peer;
  for (const char* n : {"a", "b", "c"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return !recorder.deliveries.empty(); }, 2000));
  TypeParam::PumpFor(100);  // lets a retired notifier be deleted
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
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return !recorder.deliveries.empty(); }, 2000));
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, "new"));
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= 2; }, 2000));
  TypeParam::PumpFor(100);
  ASSERT_EQ(recorder.deliveries.size(), 2u);
  EXPECT_EQ(recorder.Order(), "reopennew");
}

// What a socket received belongs to it: a close inside a nested loop stops
// the outer handler's reading too (and drops anything read ahead), the outer
// handler still finds its own datagram, and a control destroyed inside a
// nested handler leaves nothing dangling.
TYPED_TEST_P(SocketControlContract, CloseOrDestructionInsideANestedLoopIsSafe) {
  Peer<TypeParam> peer;
  {
    Control<TypeParam> control;
    Recorder recorder(control);
    Delivery outerAfterNested;
    recorder.extra = [&](const Delivery& d) {
      if (d.text == "a") {
        TypeParam::NestedLoop(200);
        outerAfterNested = recorder.Current();
      } else if (d.text == "b") {
        control.Close();
      }
    };
    ASSERT_EQ(control.Bind(kArtNet), kSockOk);
    for (const char* n : {"a", "b", "c", "d"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
    ASSERT_TRUE(TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= 2; }, 2000));
    TypeParam::PumpFor(100);
    EXPECT_EQ(recorder.Order(), "ab");
    EXPECT_EQ(outerAfterNested.text, "a");
  }

  auto control = std::make_unique<Control<TypeParam>>();
  int deliveries = 0;
  control->SetDataArrivalHandler([&] {
    if (++deliveries == 1) {
      TypeParam::NestedLoop(200);  // the nested level destroys the control
    } else {
      control.reset();
    }
  });
  ASSERT_EQ(control->Bind(kArtNet), kSockOk);
  for (const char* n : {"1", "2", "3", "4"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return control == nullptr; }, 2000));
  TypeParam::PumpFor(100);  // lets deferred deletions run
  EXPECT_EQ(deliveries, 2);
}

// The namespace has loopback and artnet0 (10.99.0.1/24, the default route).
TYPED_TEST_P(SocketControlContract, LocalIPIsTheAddressOfTheInterfaceTowardsTheDestination) {
  Control<TypeParam> control;
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

// A flat lighting network has no route at all beyond its own networks:
// 255.255.255.255 must still leave, through the lighting interface.
TYPED_TEST_P(SocketControlContract, LimitedBroadcastLeavesWithoutAnyRoute) {
  const auto flat = TypeParam::Routeless();
  if (!flat.applied()) GTEST_SKIP() << kChangedNetworkOnly;
  Peer<TypeParam> listener(0, "0.0.0.0");  // hears the local copy of every broadcast
  ASSERT_TRUE(listener.ok());
  Control<TypeParam> control;
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
TYPED_TEST_P(SocketControlContract, LocalIPOnTwoNetworksFollowsTheDestinationsNetworkThenTheRoute) {
  const auto twoNetworks = TypeParam::MultiHomed();
  if (!twoNetworks.applied()) GTEST_SKIP() << kChangedNetworkOnly;
  Control<TypeParam> control;
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

// A slow link (artnet0 at 8 kbit/s behind a deep queue) lets the send buffer
// fill: the control refuses, and raises Writable once when the queue drains.
TYPED_TEST_P(SocketControlContract, FullSendBufferIsRefusedAndWritableFollowsOnceWhenItDrains) {
  auto slow = TypeParam::SlowLink();
  if (!slow.applied()) GTEST_SKIP() << kChangedNetworkOnly;
  Control<TypeParam> control;
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
  TypeParam::PumpFor(100);
  EXPECT_EQ(writable, 0);

  slow.Undo();  // the queued datagrams are dropped and the buffer empties
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return writable > 0; }, 10000));
  TypeParam::PumpFor(100);
  EXPECT_EQ(writable, 1);
  EXPECT_EQ(control.SendData(frame), kSockOk);
  TypeParam::PumpFor(100);
  EXPECT_EQ(writable, 1);  // only a refused send is owed a Writable
}

REGISTER_TYPED_TEST_SUITE_P(SocketControlContract, BindHoldsThePortExclusively, SendOnAClosedControlOpensOnLocalPort,
                            OnlyStrictDottedAddressesAreSentTo, DeliversEachDatagramOnceWithItsDottedSender,
                            GetDataCopiesAtMostTheBufferItIsGiven, HandlersThatThrowLoseOnlyTheirOwnEvent,
                            AFloodLetsOtherWorkRunAndEveryDatagramArrivesOnce,
                            ExpensiveDatagramsEndAWakeUpByTimeAndTheRestStillArrive, BroadcastsWorkWithoutBeingAsked,
                            HandlersThatAllPumpNestBoundedlyAndLoseNothing,
                            TimersKeepTickingWhileAFloodKeepsTheQueueBusy,
                            ANestedLoopInsideTheHandlerDeliversEachDatagramOnceInOrder,
                            CloseOrRebindInsideTheHandlerIsSafe, CloseOrDestructionInsideANestedLoopIsSafe,
                            LocalIPIsTheAddressOfTheInterfaceTowardsTheDestination,
                            LimitedBroadcastLeavesWithoutAnyRoute,
                            LocalIPOnTwoNetworksFollowsTheDestinationsNetworkThenTheRoute,
                            FullSendBufferIsRefusedAndWritableFollowsOnceWhenItDrains);

}  // namespace artnet::contract
