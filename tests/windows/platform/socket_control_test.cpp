// The Win32 socket control against real sockets, pumped through the message
// loop, inside a private network namespace (loopback, and artnet0
// 10.99.0.1/24 carrying the default route).
#include <gtest/gtest.h>

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/win32/win32_event_pump.h"
#include "platform/win32/win32_socket_control.h"
#include "platform/win32/win32_timer.h"
#include "support.h"

namespace artnet {
namespace {

using wtest::Bytes;
using wtest::PostToLoop;
using wtest::PumpFor;
using wtest::PumpUntil;
using wtest::RawUdp;

constexpr int kArtNet = 6454;

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

// A nested message loop, as the scan's pump and the warning box run one.
void NestedLoop(int ms) {
  Win32EventPump pump;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    pump.DoEvents();
    pump.Sleep(5);
  }
}

class Win32SocketControlTest : public testing::Test {
 protected:
  void SetUp() override { SKIP_UNLESS_TEST_NETNS(); }
};

TEST_F(Win32SocketControlTest, BindHoldsThePortExclusively) {
  Win32SocketControl first;
  Win32SocketControl second;
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
  second.SetRemotePort(wtest::FreePort());
  EXPECT_EQ(second.SendData(Bytes("x")), kSockErrAddressInUse);
  second.GetState(state);
  EXPECT_EQ(state, kSockStateClosed);
  // Nor does another program that asks to share the port (SO_REUSEADDR).
  RawUdp sharing(kArtNet, "0.0.0.0", true);
  EXPECT_FALSE(sharing.ok());

  EXPECT_EQ(first.Close(), kSockOk);
  EXPECT_EQ(first.Close(), kSockOk);  // harmless when closed
  first.GetLocalPort(port);
  EXPECT_EQ(port, kArtNet);  // the value last written while closed
  EXPECT_EQ(second.Bind(kArtNet), kSockOk);
}

TEST_F(Win32SocketControlTest, SendOnAClosedControlOpensOnLocalPort) {
  RawUdp listener(0, "127.0.0.1");
  ASSERT_TRUE(listener.ok());
  Win32SocketControl control;
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
  Win32SocketControl anyPort;
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

TEST_F(Win32SocketControlTest, OnlyStrictDottedAddressesAreSentTo) {
  RawUdp listener(0, "127.0.0.1");
  ASSERT_TRUE(listener.ok());
  Win32SocketControl control;
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

TEST_F(Win32SocketControlTest, DeliversEachDatagramOnceWithItsDottedSender) {
  Win32SocketControl control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  std::array<std::uint8_t, 4> out{};
  std::size_t length = 99;
  EXPECT_EQ(control.GetData(out, length), kSockErrNoData);  // outside a DataArrival
  EXPECT_EQ(length, 0u);
  std::string ip = "x";
  EXPECT_EQ(control.GetRemoteHostIP(ip), kSockErrNoData);
  EXPECT_EQ(ip, "");

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

  // GetData copies at most the buffer it is given.
  std::string head;
  std::size_t reported = 0;
  control.SetDataArrivalHandler([&] {
    std::array<std::uint8_t, 4> small{};
    control.GetData(small, reported);
    head.assign(small.begin(), small.begin() + static_cast<std::ptrdiff_t>(reported));
  });
  ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, "0123456789"));
  ASSERT_TRUE(PumpUntil([&] { return reported != 0; }, 2000));
  EXPECT_EQ(reported, 4u);
  EXPECT_EQ(head, "0123");
}

// An exception escaping a window procedure would end a 32-bit host: a
// handler that throws loses its own datagram or tick, nothing more.
TEST_F(Win32SocketControlTest, HandlersThatThrowLoseOnlyTheirOwnEvent) {
  Win32SocketControl control;
  Recorder recorder(control);
  recorder.extra = [](const Delivery& d) {
    if (d.text == "throw") throw std::runtime_error("handler failed");
  };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  auto timer = std::make_unique<Win32Timer>();
  int ticks = 0;
  timer->SetInterval(10);
  timer->SetTickHandler([&] {
    if (++ticks == 1) throw 42;
  });
  ASSERT_EQ(timer->SetEnabled(true), 0);
  RawUdp peer;
  for (const char* n : {"throw", "after"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= 2 && ticks >= 2; }, 2000));
  EXPECT_EQ(recorder.Order(), "throwafter");
}

// A flood must not starve the message loop: other messages are handled
// between batches, and every datagram is still delivered once, in order.
TEST_F(Win32SocketControlTest, AFloodIsReadInBatchesThatLetOtherMessagesRun) {
  Win32SocketControl control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  RawUdp peer;
  constexpr int kDatagrams = 150;  // well within the default receive buffer
  for (int i = 0; i < kDatagrams; ++i) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, std::to_string(i)));

  std::optional<std::size_t> deliveredWhenOtherRan;
  recorder.extra = [&](const Delivery&) {
    if (recorder.deliveries.size() == 1) PostToLoop([&] { deliveredWhenOtherRan = recorder.deliveries.size(); });
  };
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= kDatagrams && deliveredWhenOtherRan; }, 5000));
  PumpFor(50);
  EXPECT_LT(*deliveredWhenOtherRan, static_cast<std::size_t>(kDatagrams));
  ASSERT_EQ(recorder.deliveries.size(), static_cast<std::size_t>(kDatagrams));
  for (int i = 0; i < kDatagrams; ++i) EXPECT_EQ(recorder.deliveries[i].text, std::to_string(i));
}

// Datagrams that cost the host a lot end a wake-up early by time, not only
// by count, and the rest still arrive when nothing more comes to wake it.
TEST_F(Win32SocketControlTest, ExpensiveDatagramsEndAWakeUpByTimeAndTheRestStillArrive) {
  Win32SocketControl control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  RawUdp peer;
  constexpr int kDatagrams = 12;
  for (int i = 0; i < kDatagrams; ++i) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, std::to_string(i)));

  std::optional<std::size_t> deliveredWhenOtherRan;
  recorder.extra = [&](const Delivery&) {
    if (recorder.deliveries.size() == 1) PostToLoop([&] { deliveredWhenOtherRan = recorder.deliveries.size(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(3));  // a host writing hundreds of lines
  };
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= kDatagrams && deliveredWhenOtherRan; }, 5000));
  PumpFor(50);
  EXPECT_LE(*deliveredWhenOtherRan, 3u);
  ASSERT_EQ(recorder.deliveries.size(), static_cast<std::size_t>(kDatagrams));
  for (int i = 0; i < kDatagrams; ++i) EXPECT_EQ(recorder.deliveries[i].text, std::to_string(i));
}

TEST_F(Win32SocketControlTest, BroadcastsWorkWithoutBeingAsked) {
  RawUdp listener(0, "0.0.0.0");
  ASSERT_TRUE(listener.ok());
  Win32SocketControl sender;
  sender.SetRemotePort(listener.port());
  for (const char* broadcast : {"255.255.255.255", "10.99.0.255"}) {
    sender.SetRemoteHost(broadcast);
    ASSERT_EQ(sender.SendData(Bytes(broadcast)), kSockOk) << broadcast;
    const auto got = listener.Receive(2000);
    ASSERT_TRUE(got) << broadcast;
    EXPECT_EQ(got->bytes, Bytes(broadcast));
  }

  // A control bound to the port hears its own broadcast, as the endpoint expects.
  Win32SocketControl node;
  Recorder recorder(node);
  ASSERT_EQ(node.Bind(kArtNet), kSockOk);
  node.SetRemotePort(kArtNet);
  node.SetRemoteHost("255.255.255.255");
  ASSERT_EQ(node.SendData(Bytes("poll")), kSockOk);
  ASSERT_TRUE(PumpUntil([&] { return !recorder.deliveries.empty(); }, 2000));
  EXPECT_EQ(recorder.deliveries[0].text, "poll");
  EXPECT_EQ(recorder.deliveries[0].sender, "10.99.0.1");
}

// A host helper that pumps messages for every value it is given: each new
// datagram would nest one level deeper until the stack overflows. Nesting
// stops at its bound, and every datagram still arrives once, in order.
TEST_F(Win32SocketControlTest, HandlersThatAllPumpNestBoundedlyAndLoseNothing) {
  Win32SocketControl control;
  Recorder recorder(control);
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  int depth = 0, deepest = 0;
  recorder.extra = [&](const Delivery&) {
    deepest = std::max(deepest, ++depth);
    NestedLoop(10);
    --depth;
  };
  RawUdp peer;
  constexpr int kDatagrams = 60;
  for (int i = 0; i < kDatagrams; ++i) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, std::to_string(i % 10)));
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= kDatagrams && depth == 0; }, 20000));
  EXPECT_EQ(deepest, kMaxDeliveryDepth);
  std::string expected;
  for (int i = 0; i < kDatagrams; ++i) expected += std::to_string(i % 10);
  EXPECT_EQ(recorder.Order(), expected);
}

int hostTicks = 0;
void CALLBACK HostTick(HWND, UINT, UINT_PTR, DWORD) { ++hostTicks; }

// A read notification is queued for as long as a flood lasts, and the system
// makes WM_TIMER only when no posted message waits: the timers must still
// tick, ours (the flush and the refresh of the output) and the host's own.
TEST_F(Win32SocketControlTest, TimersKeepTickingWhileAFloodKeepsTheQueueBusy) {
  Win32SocketControl control;
  Recorder recorder(control);
  // Dearer than the flood's pace: the socket never runs dry.
  recorder.extra = [](const Delivery&) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  const auto timer = std::make_unique<Win32Timer>();
  int ticks = 0;
  timer->SetTickHandler([&] { ++ticks; });
  timer->SetInterval(20);
  ASSERT_EQ(timer->SetEnabled(true), 0);

  hostTicks = 0;
  const UINT_PTR hostTimer = SetTimer(nullptr, 0, 20, HostTick);
  ASSERT_NE(hostTimer, 0u);

  std::atomic<bool> flooding = true;
  std::thread flood([&] {
    RawUdp peer;
    while (flooding) peer.SendTo("127.0.0.1", kArtNet, "x");
  });
  PumpFor(1000);
  flooding = false;
  flood.join();
  EXPECT_GT(recorder.deliveries.size(), 100u);
  KillTimer(nullptr, hostTimer);
  EXPECT_GE(ticks, 25);      // about 50 when the loop is idle
  EXPECT_GE(hostTicks, 10);  // 0 when starved
}

// A handler that runs a nested message loop (as the scan and the warning box
// do) must not lose, repeat or reorder datagrams, and must find its own
// datagram still current when the nested loop returns.
TEST_F(Win32SocketControlTest, ANestedLoopInsideTheHandlerDeliversEachDatagramOnceInOrder) {
  Win32SocketControl control;
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
    NestedLoop(300);
    afterNested = recorder.Current();
    EXPECT_EQ(afterNested.text, d.text);
  };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  for (const char* n : {"0", "1", "2", "3", "4"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= 7; }, 3000));
  PumpFor(100);
  EXPECT_EQ(recorder.Order(), "0123456");
  EXPECT_EQ(afterNested.text, "0");
  EXPECT_EQ(afterNested.sender, "127.0.0.1");
  std::array<std::uint8_t, 4> out{};
  std::size_t length = 0;
  EXPECT_EQ(control.GetData(out, length), kSockErrNoData);  // nothing current once all handlers returned
}

TEST_F(Win32SocketControlTest, CloseOrRebindInsideTheHandlerIsSafe) {
  Win32SocketControl control;
  Recorder recorder(control);
  recorder.extra = [&](const Delivery&) { control.Close(); };
  ASSERT_EQ(control.Bind(kArtNet), kSockOk);
  RawUdp peer;
  for (const char* n : {"a", "b", "c"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(PumpUntil([&] { return !recorder.deliveries.empty(); }, 2000));
  PumpFor(100);
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
  EXPECT_EQ(recorder.Order(), "reopennew");
}

// A close inside a nested loop stops the outer handler's reading too, the
// outer handler still finds its own datagram, and a control destroyed
// inside a nested handler leaves nothing dangling.
TEST_F(Win32SocketControlTest, CloseOrDestructionInsideANestedLoopIsSafe) {
  RawUdp peer;
  {
    Win32SocketControl control;
    Recorder recorder(control);
    Delivery outerAfterNested;
    recorder.extra = [&](const Delivery& d) {
      if (d.text == "a") {
        NestedLoop(200);
        outerAfterNested = recorder.Current();
      } else if (d.text == "b") {
        control.Close();
      }
    };
    ASSERT_EQ(control.Bind(kArtNet), kSockOk);
    for (const char* n : {"a", "b", "c", "d"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
    ASSERT_TRUE(PumpUntil([&] { return recorder.deliveries.size() >= 2; }, 2000));
    PumpFor(100);
    EXPECT_EQ(recorder.Order(), "ab");
    EXPECT_EQ(outerAfterNested.text, "a");
  }

  auto control = std::make_unique<Win32SocketControl>();
  int deliveries = 0;
  control->SetDataArrivalHandler([&] {
    if (++deliveries == 1) {
      NestedLoop(200);  // the nested level destroys the control
    } else {
      control.reset();
    }
  });
  ASSERT_EQ(control->Bind(kArtNet), kSockOk);
  for (const char* n : {"1", "2", "3", "4"}) ASSERT_TRUE(peer.SendTo("127.0.0.1", kArtNet, n));
  ASSERT_TRUE(PumpUntil([&] { return control == nullptr; }, 2000));
  PumpFor(100);
  EXPECT_EQ(deliveries, 2);
}

// The namespace has loopback and artnet0 (10.99.0.1/24, the default route).
TEST_F(Win32SocketControlTest, LocalIPIsTheAddressOfTheInterfaceTowardsTheDestination) {
  Win32SocketControl control;
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
