// The datagram socket's contract, against real sockets inside a private
// network namespace (loopback, and artnet0 10.99.0.1/24 carrying the default
// route). Each platform instantiates it once, in one file of its test
// program, with a type that names its parts and runs its event loop:
//   DatagramSocket, Timer                 the platform's own
//   RawUdp                                a plain UDP socket playing the other program:
//                                         RawUdp(port, ip, share), ok(), port(), SendTo(ip, port, text),
//                                         Receive(timeoutMs)
//   InTestNetns()
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
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/interfaces/datagram_socket.h"

namespace artnet::contract {

inline constexpr int kArtNet = 6454;

inline std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
inline std::string Text(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

// "a.b.c.d" as a number; none for anything else.
inline std::optional<IPv4> Address(const std::string& text) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &end) != 4 || (a | b | c | d) > 255)
    return std::nullopt;
  return a << 24 | b << 16 | c << 8 | d;
}
inline std::string Dotted(IPv4 address) {
  return std::to_string(address >> 24) + '.' + std::to_string(address >> 16 & 0xFF) + '.' +
         std::to_string(address >> 8 & 0xFF) + '.' + std::to_string(address & 0xFF);
}
inline const IPv4 kLoopback = *Address("127.0.0.1");
inline constexpr IPv4 kLimitedBroadcast = 0xFFFFFFFF;

// A send on a closed socket is refused before it reaches the system.
inline bool IsClosed(DatagramSocket& socket) { return socket.SendTo(kLoopback, 9, {}) == kSockErrWrongState; }

// Where a platform cannot change the network from inside its test program,
// a script of its own runs these cases.
inline constexpr const char* kChangedNetworkOnly = "runs where the network is changed for it";

template <typename Platform>
using Control = typename Platform::DatagramSocket;
template <typename Platform>
using Peer = typename Platform::RawUdp;

struct Delivery {
  std::string text;
  std::string sender;
  // The bytes as the handler got them: valid only while it runs.
  std::span<const std::uint8_t> datagram;
};

// Records every datagram a socket receives: its bytes and its sender.
class Recorder {
 public:
  explicit Recorder(DatagramSocket& socket) {
    socket.SetReceiveHandler([this](std::span<const std::uint8_t> datagram, IPv4 sender) {
      const Delivery current{Text(datagram), Dotted(sender), datagram};
      deliveries.push_back(current);  // nested arrivals may grow `deliveries`
      if (extra) extra(current);
    });
  }
  std::function<void(const Delivery&)> extra;
  std::vector<Delivery> deliveries;

  std::string Order() const {
    std::string order;
    for (const auto& d : deliveries) order += d.text;
    return order;
  }
};

template <typename Platform>
class DatagramSocketContract : public testing::Test {
 protected:
  void SetUp() override {
    if (!Platform::InTestNetns()) GTEST_SKIP() << "needs ARTNET_TEST_NETNS=1 (private network namespace)";
  }
};

TYPED_TEST_SUITE_P(DatagramSocketContract);

TYPED_TEST_P(DatagramSocketContract, OpenHoldsThePortExclusively) {
  Control<TypeParam> first;
  Control<TypeParam> second;
  EXPECT_TRUE(IsClosed(first));
  ASSERT_EQ(first.Open(kArtNet), kSockOk);
  EXPECT_FALSE(IsClosed(first));
  EXPECT_EQ(first.Open(kArtNet), kSockErrWrongState);

  EXPECT_EQ(second.Open(kArtNet), kSockErrAddressInUse);
  EXPECT_TRUE(IsClosed(second));
  // Nor does another program that asks to share the port (SO_REUSEADDR).
  Peer<TypeParam> sharing(kArtNet, "0.0.0.0", true);
  EXPECT_FALSE(sharing.ok());

  EXPECT_EQ(first.Close(), kSockOk);
  EXPECT_EQ(first.Close(), kSockOk);  // harmless when closed
  EXPECT_TRUE(IsClosed(first));
  EXPECT_EQ(second.Open(kArtNet), kSockOk);
}

TYPED_TEST_P(DatagramSocketContract, SendsFromThePortItOpenedOn) {
  Peer<TypeParam> listener(0, "127.0.0.1");
  ASSERT_TRUE(listener.ok());
  Control<TypeParam> artNet;
  ASSERT_EQ(artNet.Open(kArtNet), kSockOk);
  ASSERT_EQ(artNet.SendTo(kLoopback, listener.port(), Bytes("hello")), kSockOk);
  const auto got = listener.Receive(2000);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->bytes, Bytes("hello"));
  EXPECT_EQ(got->senderPort, kArtNet);

  // Port 0: the system picks a free port.
  Control<TypeParam> anyPort;
  ASSERT_EQ(anyPort.Open(0), kSockOk);
  ASSERT_EQ(anyPort.SendTo(kLoopback, listener.port(), Bytes("again")), kSockOk);
  const auto second = listener.Receive(2000);
  ASSERT_TRUE(second);
  EXPECT_NE(second->senderPort, 0);
  EXPECT_NE(second->senderPort, kArtNet);
}

TYPED_TEST_P(DatagramSocketContract, DeliversEachDatagramOnceWholeWithItsSender) {
  Control<TypeParam> control;
  Recorder recorder(control);
  ASSERT_EQ(control.Open(kArtNet), kSockOk);

  Peer<TypeParam> peer;
  const std::string large(1400, 'x');  // longer than any Art-Net packet: nothing is cut
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, "from loopback"));
  ASSERT_TRUE(peer.SendTo("10.99.0.1", kArtNet, "from the namespace address"));
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, ""));  // an empty datagram is still an arrival
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, large));
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= 4; }, 2000));
  TypeParam::PumpFor(100);
  ASSERT_EQ(recorder.deliveries.size(), 4u);
  EXPECT_EQ(recorder.deliveries[0].text, "from loopback");
  EXPECT_EQ(recorder.deliveries[0].sender, "127.0.0.1");
  EXPECT_EQ(recorder.deliveries[1].text, "from the namespace address");
  EXPECT_EQ(recorder.deliveries[1].sender, "10.99.0.1");
  EXPECT_EQ(recorder.deliveries[2].text, "");
  EXPECT_EQ(recorder.deliveries[3].text, large);
}

// An exception escaping an event loop's callback ends the process on some
// platforms (a 32-bit host on Windows): a handler that throws loses its own
// datagram or tick, nothing more.
TYPED_TEST_P(DatagramSocketContract, HandlersThatThrowLoseOnlyTheirOwnEvent) {
  Control<TypeParam> control;
  Recorder recorder(control);
  recorder.extra = [](const Delivery& d) {
    if (d.text == "throw") throw std::runtime_error("handler failed");
  };
  ASSERT_EQ(control.Open(kArtNet), kSockOk);
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
TYPED_TEST_P(DatagramSocketContract, AFloodLetsOtherWorkRunAndEveryDatagramArrivesOnce) {
  Control<TypeParam> control;
  Recorder recorder(control);
  ASSERT_EQ(control.Open(kArtNet), kSockOk);
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
TYPED_TEST_P(DatagramSocketContract, ExpensiveDatagramsEndAWakeUpByTimeAndTheRestStillArrive) {
  Control<TypeParam> control;
  Recorder recorder(control);
  ASSERT_EQ(control.Open(kArtNet), kSockOk);
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

TYPED_TEST_P(DatagramSocketContract, BroadcastsWorkWithoutBeingAsked) {
  Peer<TypeParam> listener(0, "0.0.0.0");
  ASSERT_TRUE(listener.ok());
  Control<TypeParam> sender;
  ASSERT_EQ(sender.Open(0), kSockOk);
  for (const char* broadcast : {"255.255.255.255", "10.99.0.255"}) {
    ASSERT_EQ(sender.SendTo(*Address(broadcast), listener.port(), Bytes(broadcast)), kSockOk) << broadcast;
    const auto got = listener.Receive(2000);
    ASSERT_TRUE(got) << broadcast;
    EXPECT_EQ(got->bytes, Bytes(broadcast));
  }

  // A control bound to the port hears its own broadcast, as the endpoint expects.
  Control<TypeParam> node;
  Recorder recorder(node);
  ASSERT_EQ(node.Open(kArtNet), kSockOk);
  ASSERT_EQ(node.SendTo(kLimitedBroadcast, kArtNet, Bytes("poll")), kSockOk);
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return !recorder.deliveries.empty(); }, 2000));
  EXPECT_EQ(recorder.deliveries[0].text, "poll");
  EXPECT_EQ(recorder.deliveries[0].sender, "10.99.0.1");
}

// A host helper that pumps events for every value it is given: each new
// datagram would nest one level deeper until the stack overflows. Nesting
// stops at its bound, and every datagram still arrives once, in order.
TYPED_TEST_P(DatagramSocketContract, HandlersThatAllPumpNestBoundedlyAndLoseNothing) {
  Control<TypeParam> control;
  Recorder recorder(control);
  ASSERT_EQ(control.Open(kArtNet), kSockOk);
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
TYPED_TEST_P(DatagramSocketContract, TimersKeepTickingWhileAFloodKeepsTheQueueBusy) {
  Control<TypeParam> control;
  Recorder recorder(control);
  // Dearer than the flood's pace: the socket never runs dry.
  recorder.extra = [](const Delivery&) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
  ASSERT_EQ(control.Open(kArtNet), kSockOk);
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
// datagrams, and must find its own datagram intact when the nested loop
// returns.
TYPED_TEST_P(DatagramSocketContract, ANestedLoopInsideTheHandlerDeliversEachDatagramOnceInOrder) {
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
    afterNested = {Text(d.datagram), d.sender, {}};
  };
  ASSERT_EQ(control.Open(kArtNet), kSockOk);
  for (const char* n : {"0", "1", "2", "3", "4"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= 7; }, 3000));
  TypeParam::PumpFor(100);
  EXPECT_EQ(recorder.Order(), "0123456");
  EXPECT_EQ(afterNested.text, "0");
  EXPECT_EQ(afterNested.sender, "127.0.0.1");
}

TYPED_TEST_P(DatagramSocketContract, CloseOrRebindInsideTheHandlerIsSafe) {
  Control<TypeParam> control;
  Recorder recorder(control);
  recorder.extra = [&](const Delivery&) { control.Close(); };
  ASSERT_EQ(control.Open(kArtNet), kSockOk);
  Peer<TypeParam> peer;
  for (const char* n : {"a", "b", "c"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return !recorder.deliveries.empty(); }, 2000));
  TypeParam::PumpFor(100);  // lets a retired notifier be deleted
  ASSERT_EQ(recorder.deliveries.size(), 1u);
  EXPECT_EQ(recorder.deliveries[0].text, "a");
  EXPECT_TRUE(IsClosed(control));

  // Close and re-open inside one handler: the old queue is gone, the new socket reads.
  recorder.deliveries.clear();
  recorder.extra = [&](const Delivery& d) {
    if (d.text != "reopen") return;
    control.Close();
    control.Open(kArtNet);
  };
  ASSERT_EQ(control.Open(kArtNet), kSockOk);
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
// handler still finds its own datagram intact, and a socket destroyed inside
// a nested handler leaves nothing dangling.
TYPED_TEST_P(DatagramSocketContract, CloseOrDestructionInsideANestedLoopIsSafe) {
  Peer<TypeParam> peer;
  {
    Control<TypeParam> control;
    Recorder recorder(control);
    Delivery outerAfterNested;
    recorder.extra = [&](const Delivery& d) {
      if (d.text == "a") {
        TypeParam::NestedLoop(200);
        outerAfterNested = {Text(d.datagram), d.sender, {}};
      } else if (d.text == "b") {
        control.Close();
      }
    };
    ASSERT_EQ(control.Open(kArtNet), kSockOk);
    for (const char* n : {"a", "b", "c", "d"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
    ASSERT_TRUE(TypeParam::PumpUntil([&] { return recorder.deliveries.size() >= 2; }, 2000));
    TypeParam::PumpFor(100);
    EXPECT_EQ(recorder.Order(), "ab");
    EXPECT_EQ(outerAfterNested.text, "a");
  }

  auto control = std::make_unique<Control<TypeParam>>();
  int deliveries = 0;
  control->SetReceiveHandler([&](std::span<const std::uint8_t>, IPv4) {
    if (++deliveries == 1) {
      TypeParam::NestedLoop(200);  // the nested level destroys the control
    } else {
      control.reset();
    }
  });
  ASSERT_EQ(control->Open(kArtNet), kSockOk);
  for (const char* n : {"1", "2", "3", "4"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return control == nullptr; }, 2000));
  TypeParam::PumpFor(100);  // lets deferred deletions run
  EXPECT_EQ(deliveries, 2);
}

// The namespace has loopback and artnet0 (10.99.0.1/24, the default route).
TYPED_TEST_P(DatagramSocketContract, LocalIPIsTheAddressOfTheInterfaceTowardsTheDestination) {
  Control<TypeParam> control;
  const std::pair<const char*, const char*> cases[] = {
      {"10.99.0.255", "10.99.0.1"},     {"10.99.0.7", "10.99.0.1"},       {"127.0.0.1", "127.0.0.1"},
      {"127.255.255.255", "127.0.0.1"}, {"255.255.255.255", "10.99.0.1"},  // by the route
      {"192.0.2.1", "10.99.0.1"},       {"not an address", "10.99.0.1"},   // the first one up
  };
  for (const auto& [towards, expected] : cases) {
    std::string ip;
    ASSERT_EQ(control.LocalAddressTowards(Address(towards), ip), kSockOk) << towards;
    EXPECT_EQ(ip, expected) << towards;
  }
}

// A flat lighting network has no route at all beyond its own networks:
// 255.255.255.255 must still leave, through the lighting interface.
TYPED_TEST_P(DatagramSocketContract, LimitedBroadcastLeavesWithoutAnyRoute) {
  const auto flat = TypeParam::Routeless();
  if (!flat.applied()) GTEST_SKIP() << kChangedNetworkOnly;
  Peer<TypeParam> listener(0, "0.0.0.0");  // hears the local copy of every broadcast
  ASSERT_TRUE(listener.ok());
  Control<TypeParam> control;
  ASSERT_EQ(control.Open(0), kSockOk);
  for (const char* text : {"first", "second"}) {  // the second through the interface found for the first
    ASSERT_EQ(control.SendTo(kLimitedBroadcast, listener.port(), Bytes(text)), kSockOk) << text;
    const auto got = listener.Receive(2000);
    ASSERT_TRUE(got) << text;
    EXPECT_EQ(got->bytes, Bytes(text));
    EXPECT_EQ(got->senderIp, "10.99.0.1");
  }
  // The interface named for the broadcast does not stick to other sends:
  // an answer to a sender on loopback still arrives.
  ASSERT_EQ(control.SendTo(kLoopback, listener.port(), Bytes("unicast")), kSockOk);
  const auto unicast = listener.Receive(2000);
  ASSERT_TRUE(unicast);
  EXPECT_EQ(unicast->bytes, Bytes("unicast"));
  // Without a route there is nowhere else to go.
  EXPECT_EQ(control.SendTo(*Address("192.0.2.1"), listener.port(), Bytes("routed only")), kSockErrNetUnreachable);

  // The local address for the broadcast: no route picks one, so the first
  // interface up that is not loopback.
  std::string ip;
  ASSERT_EQ(control.LocalAddressTowards(kLimitedBroadcast, ip), kSockOk);
  EXPECT_EQ(ip, "10.99.0.1");
}

// A console PC on two networks: artnet0 (10.99.0.1/24, lighting) and
// office0 (192.168.77.1/24) holding the default route. The first interface
// up is not the answer for either network.
TYPED_TEST_P(DatagramSocketContract, LocalIPOnTwoNetworksFollowsTheDestinationsNetworkThenTheRoute) {
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
    ASSERT_EQ(control.LocalAddressTowards(Address(towards), ip), kSockOk) << towards;
    EXPECT_EQ(ip, expected) << towards;
  }
}

// A slow link (artnet0 at 8 kbit/s behind a deep queue) lets the send buffer
// fill: the control refuses, and raises Writable once when the queue drains.
TYPED_TEST_P(DatagramSocketContract, FullSendBufferIsRefusedAndWritableFollowsOnceWhenItDrains) {
  auto slow = TypeParam::SlowLink();
  if (!slow.applied()) GTEST_SKIP() << kChangedNetworkOnly;
  Control<TypeParam> control;
  int writable = 0;
  control.SetWritableHandler([&] { ++writable; });
  ASSERT_EQ(control.Open(0), kSockOk);
  const IPv4 lighting = *Address("10.99.0.255");
  const std::vector<std::uint8_t> frame(530, 0);
  int result = kSockOk;
  for (int sends = 0; result == kSockOk && sends < 100000; ++sends) result = control.SendTo(lighting, kArtNet, frame);
  ASSERT_EQ(result, kSockErrWouldBlock);
  EXPECT_EQ(control.SendTo(lighting, kArtNet, frame), kSockErrWouldBlock);
  TypeParam::PumpFor(100);
  EXPECT_EQ(writable, 0);

  slow.Undo();  // the queued datagrams are dropped and the buffer empties
  ASSERT_TRUE(TypeParam::PumpUntil([&] { return writable > 0; }, 10000));
  TypeParam::PumpFor(100);
  EXPECT_EQ(writable, 1);
  EXPECT_EQ(control.SendTo(lighting, kArtNet, frame), kSockOk);
  TypeParam::PumpFor(100);
  EXPECT_EQ(writable, 1);  // only a refused send is owed a Writable
}

REGISTER_TYPED_TEST_SUITE_P(DatagramSocketContract, OpenHoldsThePortExclusively, SendsFromThePortItOpenedOn,
                            DeliversEachDatagramOnceWholeWithItsSender, HandlersThatThrowLoseOnlyTheirOwnEvent,
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
