// The hot paths on the real Linux platform parts (time-of-day clock, BSD
// datagram socket, timers), each measured beside the limit it is judged
// against in the same run; a table of ratios follows the results.
//
// It sends datagrams (to 10.99.0.255 and 127.0.0.1), so it refuses to run
// outside the private namespace of scripts/in-test-netns.sh.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "driver/cls_output_driver.h"
#include "engine/dispatcher.h"
#include "engine/module_state.h"
#include "engine/pacing.h"
#include "engine/transport.h"
#include "fakes/fake_platform.h"
#include "platform/qt/qt_datagram_socket.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/system_clock.h"

namespace artnet::bench {
namespace {

constexpr IPv4 kPeer = 0x0A000009;  // 10.0.0.9, the sender of every datagram handled

constexpr const char* kBroadcast = "10.99.0.255";  // the namespace's artnet0 network
constexpr std::uint16_t kArtNetPort = 6454;
constexpr std::uint16_t kBarePort = 6460;  // the bare receive loop's own port
constexpr int kBatch = 64;                 // datagrams queued per absorb round

using Bytes = std::vector<std::uint8_t>;

// Counts host calls; the last value keeps the call from being optimised away.
class CountingHelper final : public lumenstage::IPluginHelper {
 public:
  void AddRef() override {}
  void Release() override {}
  std::int32_t Invoke(const char*, const lumenstage::HelperArg* args, std::int32_t) override {
    ++calls;
    benchmark::DoNotOptimize(args[1].value);
    return 0;
  }
  std::uint64_t calls = 0;
};

// Real socket, timers and clock; settings and boxes stay in memory.
class BenchPlatform final : public Platform {
 public:
  BenchPlatform() : pump_(manualClock_) {}
  std::unique_ptr<DatagramSocket> CreateDatagramSocket() override { return std::make_unique<QtDatagramSocket>(); }
  std::unique_ptr<Timer> CreateTimer() override { return std::make_unique<QtTimer>(); }
  Clock& GetClock() override { return clock_; }
  SettingsStore& Settings() override { return settings; }
  WarningBox& Messages() override { return messages_; }
  EventPump& Pump() override { return pump_; }
  DialogRunner& Dialogs() override { return dialogs_; }

  fakes::MemorySettingsStore settings;

 private:
  SystemClock clock_;
  fakes::ManualClock manualClock_;
  fakes::RecordingWarningBox messages_;
  fakes::FakeEventPump pump_;
  fakes::FakeDialogRunner dialogs_;
};

// One enabled module on the real parts, shared by all benchmarks: it holds
// the Art-Net port for the whole run.
struct Rig {
  BenchPlatform platform;
  CountingHelper helper;
  ModuleState mod{platform};
  clsOutputDriver driver{mod};

  Rig() {
    platform.settings.values[{"Lumenstage", "Plugins\\ArtNet.dll", "ArtNet_BroadcastAdress"}] = kBroadcast;
    lumenstage::VBool result;
    (void)driver.Init("Lumenstage", "ArtNet.dll", &helper, &result);
    (void)driver.Enable(&result);
    if (result != lumenstage::kTrue) {
      std::fprintf(stderr, "platform_bench: Enable failed\n");
      std::exit(1);
    }
    for (int ch = 1; ch <= 512; ++ch) (void)driver.SetChannel(ch, 0, &result);
    Drain();
  }

  // Handles whatever waits on the Art-Net port (own broadcasts looped back).
  static void Drain() {
    for (int i = 0; i < 100; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
};

Rig& TheRig() {
  static Rig* rig = new Rig();  // lives as long as the process, like the plug-in's module
  return *rig;
}

void ReportAllocations(benchmark::State& state, std::uint64_t before, double perIteration = 1) {
  state.counters["allocs/op"] = benchmark::Counter(static_cast<double>(AllocationCount() - before) / perIteration,
                                                   benchmark::Counter::kAvgIterations);
}

int UdpSocket(std::uint16_t bindPort) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  if (bindPort != 0) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = htons(bindPort);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      std::perror("bind");
      std::exit(1);
    }
  }
  return fd;
}

sockaddr_in Address(const char* host, std::uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  ::inet_pton(AF_INET, host, &to.sin_addr);
  return to;
}

Bytes ArtDmx530(std::uint8_t universe, std::uint8_t fill) {
  const std::uint8_t header[] = {'A',  'r', 't', '-', 'N', 'e',      't', 0,    0x00,
                                 0x50, 0,   14,  1,   0,   universe, 0,   0x02, 0x00};
  Bytes packet(530, fill);
  std::memcpy(packet.data(), header, sizeof header);
  return packet;
}

std::int64_t MonotonicNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// ---- time of day -------------------------------------------------------

// The time-of-day reading as the pacing needs it, on a given clock: seconds
// since local midnight in single precision, the local conversion cached per second.
template <clockid_t Id>
float SecondsSinceMidnightOn() {
  static std::time_t cachedSecond = -1;
  static double cachedSecondOfDay = 0;
  timespec now{};
  ::clock_gettime(Id, &now);
  if (now.tv_sec != cachedSecond) {
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    cachedSecond = now.tv_sec;
    cachedSecondOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  }
  return static_cast<float>(cachedSecondOfDay + static_cast<double>(now.tv_nsec) * 1e-9);
}

void BM_Limit_TwoPreciseClockReads(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(SecondsSinceMidnightOn<CLOCK_REALTIME>());
    benchmark::DoNotOptimize(SecondsSinceMidnightOn<CLOCK_REALTIME>());
  }
}
BENCHMARK(BM_Limit_TwoPreciseClockReads);

void BM_Limit_TwoCoarseClockReads(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(SecondsSinceMidnightOn<CLOCK_REALTIME_COARSE>());
    benchmark::DoNotOptimize(SecondsSinceMidnightOn<CLOCK_REALTIME_COARSE>());
  }
}
BENCHMARK(BM_Limit_TwoCoarseClockReads);

// The plug-in's own clock, read twice as the pacing does.
void BM_SystemClock_TwoReads(benchmark::State& state) {
  Clock& clock = TheRig().platform.GetClock();
  for (auto _ : state) {
    benchmark::DoNotOptimize(clock.SecondsSinceMidnight());
    benchmark::DoNotOptimize(clock.SecondsSinceMidnight());
  }
}
BENCHMARK(BM_SystemClock_TwoReads);

// The host's call inside the 40 ms window: stored, the flush stays armed.
// About once per 40 ms the window closes and one call sends at once.
void BM_SetChannelDeferred(benchmark::State& state) {
  Rig& rig = TheRig();
  lumenstage::VBool result;
  (void)rig.driver.SetChannel(1, 1, &result);  // opens the window
  const std::uint64_t before = AllocationCount();
  int value = 0;
  for (auto _ : state) {
    (void)rig.driver.SetChannel(200, value++ & 0xFF, &result);
    benchmark::DoNotOptimize(result);
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_SetChannelDeferred);

// ---- sending -----------------------------------------------------------

void BM_Limit_BareSendto530(benchmark::State& state) {
  TheRig();  // the Art-Net port is held as in the real case, which takes the looped-back copy
  const int fd = UdpSocket(0);
  const sockaddr_in to = Address(kBroadcast, kArtNetPort);
  Bytes packet = ArtDmx530(0, 0);
  for (auto _ : state) {
    const ssize_t sent =
        ::sendto(fd, packet.data(), packet.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    benchmark::DoNotOptimize(sent);
  }
  ::close(fd);
}
BENCHMARK(BM_Limit_BareSendto530);

// Outside the window: a whole 512-channel ArtDmx built and sent through the
// real datagram socket. The stamps are reset so every call is immediate.
void BM_SetChannelImmediate(benchmark::State& state) {
  Rig& rig = TheRig();
  PacingStamps stamps;
  const std::uint64_t before = AllocationCount();
  int value = 0;
  for (auto _ : state) {
    stamps = PacingStamps{};
    benchmark::DoNotOptimize(SetChannel(rig.mod, stamps, 200, value++ & 0xFF));
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_SetChannelImmediate);

// ---- receiving: the dispatcher -----------------------------------------

void BM_Limit_Memcmp512(benchmark::State& state) {
  std::array<std::uint8_t, 512> a{};
  std::array<std::uint8_t, 512> b{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(a.data());
    benchmark::DoNotOptimize(b.data());
    benchmark::DoNotOptimize(std::memcmp(a.data(), b.data(), a.size()));
  }
}
BENCHMARK(BM_Limit_Memcmp512);

// A repeated frame on the receive universe: nothing to tell the host.
void BM_ReceiveArtDmxUnchanged(benchmark::State& state) {
  Rig& rig = TheRig();
  const Bytes packet = ArtDmx530(1, 7);
  HandleArtNetPacket(rig.mod, packet, kPeer);
  const std::uint64_t before = AllocationCount();
  for (auto _ : state) HandleArtNetPacket(rig.mod, packet, kPeer);
  ReportAllocations(state, before);
}
BENCHMARK(BM_ReceiveArtDmxUnchanged);

// The least a dispatcher can do per changed channel: compare, update, call.
void BM_Limit_CompareCallUpdate512(benchmark::State& state) {
  Rig& rig = TheRig();
  lumenstage::IPluginHelper* helper = &rig.helper;
  std::array<std::uint8_t, 512> frames[2];
  frames[0].fill(1);
  frames[1].fill(2);
  std::array<std::uint8_t, 512> shadow{};
  std::size_t i = 0;
  for (auto _ : state) {
    const auto& frame = frames[i++ & 1];
    benchmark::DoNotOptimize(helper);
    for (std::size_t j = 0; j < frame.size(); ++j) {
      if (frame[j] == shadow[j]) continue;
      shadow[j] = frame[j];
      const lumenstage::HelperArg args[] = {{lumenstage::HelperArg::Type::Long, static_cast<std::int32_t>(j + 1)},
                                            {lumenstage::HelperArg::Type::Byte, frame[j]}};
      helper->Invoke("LMST_DMXIn_SetChannel", args, 2);
    }
  }
  state.counters["ns/call"] =
      benchmark::Counter(512.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Limit_CompareCallUpdate512);

// Every channel changes: 512 host calls per packet.
void BM_ReceiveArtDmxAllChanged(benchmark::State& state) {
  Rig& rig = TheRig();
  const Bytes frames[2] = {ArtDmx530(1, 1), ArtDmx530(1, 2)};
  std::size_t i = 0;
  const std::uint64_t before = AllocationCount();
  for (auto _ : state) HandleArtNetPacket(rig.mod, frames[i++ & 1], kPeer);
  ReportAllocations(state, before);
  state.counters["ns/call"] =
      benchmark::Counter(512.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReceiveArtDmxAllChanged);

// ---- receiving: the socket ---------------------------------------------

// Queues kBatch datagrams (not timed) on `to` from `from`.
void Queue(int from, const sockaddr_in& to, const Bytes* frames) {
  for (int k = 0; k < kBatch; ++k) {
    const Bytes& packet = frames[k & 1];
    ::sendto(from, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
}

void BM_Limit_BareRecvfromLoop(benchmark::State& state) {
  const int receiver = UdpSocket(kBarePort);
  const int sender = UdpSocket(0);
  const sockaddr_in to = Address("127.0.0.1", kBarePort);
  const Bytes frames[2] = {ArtDmx530(1, 1), ArtDmx530(1, 2)};
  std::array<std::uint8_t, 65536> buffer;
  for (auto _ : state) {
    state.PauseTiming();
    Queue(sender, to, frames);
    state.ResumeTiming();
    for (int got = 0; got < kBatch;) {
      sockaddr_in from{};
      socklen_t size = sizeof from;
      if (::recvfrom(receiver, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &size) > 0) ++got;
    }
  }
  ::close(sender);
  ::close(receiver);
  state.counters["ns/datagram"] =
      benchmark::Counter(kBatch, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Limit_BareRecvfromLoop);

// Queued on the Art-Net port, then drained through the real control and the
// dispatcher by the event loop; each datagram changes channel 1 once.
void BM_DatagramsAbsorbed(benchmark::State& state) {
  Rig& rig = TheRig();
  Rig::Drain();
  const int sender = UdpSocket(0);
  const sockaddr_in to = Address("127.0.0.1", kArtNetPort);
  // Alike but for channel 1, and queued alternately: one host call each.
  Bytes frames[2] = {ArtDmx530(1, 7), ArtDmx530(1, 7)};
  frames[0][18] = 1;
  frames[1][18] = 2;
  HandleArtNetPacket(rig.mod, frames[1], kPeer);  // a round starts with frames[0] and ends with frames[1]
  const std::uint64_t before = AllocationCount();
  std::uint64_t lost = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Queue(sender, to, frames);
    const std::uint64_t target = rig.helper.calls + kBatch;
    QElapsedTimer waited;
    waited.start();
    state.ResumeTiming();
    while (rig.helper.calls < target && waited.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (rig.helper.calls < target) ++lost;
  }
  ::close(sender);
  ReportAllocations(state, before, kBatch);
  state.counters["lost_rounds"] = static_cast<double>(lost);
  state.counters["ns/datagram"] =
      benchmark::Counter(kBatch, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DatagramsAbsorbed);

// ---- a deferred batch, end to end --------------------------------------

// One immediate send, one call inside the window that arms the flush, and
// the flush tick ~50 ms later in the event loop. Allocations per batch.
void BM_DeferredBatch(benchmark::State& state) {
  Rig& rig = TheRig();
  PacingStamps stamps;
  SetChannel(rig.mod, stamps, 1, 1);  // warm-up: the timers' first arming may set up their parts
  SetChannel(rig.mod, stamps, 1, 2);
  for (QElapsedTimer t; !t.isValid() || t.elapsed() < 120;) {
    if (!t.isValid()) t.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  const std::uint64_t before = AllocationCount();
  int value = 0;
  for (auto _ : state) {
    stamps = PacingStamps{};
    SetChannel(rig.mod, stamps, 1, value++ & 0xFF);  // immediate
    SetChannel(rig.mod, stamps, 2, value & 0xFF);    // deferred: arms the flush
    const Transport& network = *rig.mod.Network;
    QElapsedTimer waited;
    waited.start();
    // Sleeps in the event loop until the flush has ticked and disarmed itself
    // (processEvents with a time limit would spin instead).
    while (network.FlushArmed() && waited.elapsed() < 500)
      QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents);
    if (network.FlushArmed()) {
      state.SkipWithError("the flush did not tick within 500 ms");
      break;
    }
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_DeferredBatch)->Iterations(20)->Unit(benchmark::kMillisecond);

// ---- interleaved pairs ---------------------------------------------------

// The three goals with a bound, measured as alternating rounds of the limit
// and the path, `block` operations each, so that both meet the same load on
// a shared machine. The counters hold each side's mean and the median of the
// per-round ratios (a round disturbed by another process drops out).
template <typename Measured, typename Limit>
void Interleave(benchmark::State& state, int block, Measured measured, Limit limit) {
  std::vector<double> ratios;
  ratios.reserve(100000);
  double measuredNs = 0;
  double limitNs = 0;
  for (auto _ : state) {
    const std::int64_t t0 = MonotonicNs();
    for (int i = 0; i < block; ++i) limit();
    const std::int64_t t1 = MonotonicNs();
    for (int i = 0; i < block; ++i) measured();
    const std::int64_t t2 = MonotonicNs();
    measuredNs += static_cast<double>(t2 - t1);
    limitNs += static_cast<double>(t1 - t0);
    if (ratios.size() < ratios.capacity() && t1 > t0) ratios.push_back(static_cast<double>(t2 - t1) / (t1 - t0));
  }
  const double operations = static_cast<double>(state.iterations()) * block;
  state.counters["measured_ns"] = measuredNs / operations;
  state.counters["limit_ns"] = limitNs / operations;
  if (!ratios.empty()) {
    std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
    state.counters["ratio"] = ratios[ratios.size() / 2];
  }
}

void BM_Pair_SetChannelDeferred_TwoCoarseReads(benchmark::State& state) {
  Rig& rig = TheRig();
  lumenstage::VBool result;
  (void)rig.driver.SetChannel(1, 1, &result);
  int value = 0;
  Interleave(
      state, 1000,
      [&] {
        (void)rig.driver.SetChannel(200, value++ & 0xFF, &result);
        benchmark::DoNotOptimize(result);
      },
      [] {
        benchmark::DoNotOptimize(SecondsSinceMidnightOn<CLOCK_REALTIME_COARSE>());
        benchmark::DoNotOptimize(SecondsSinceMidnightOn<CLOCK_REALTIME_COARSE>());
      });
}
BENCHMARK(BM_Pair_SetChannelDeferred_TwoCoarseReads);

void BM_Pair_SetChannelImmediate_BareSendto(benchmark::State& state) {
  Rig& rig = TheRig();
  const int fd = UdpSocket(0);
  const sockaddr_in to = Address(kBroadcast, kArtNetPort);
  const Bytes packet = ArtDmx530(0, 0);
  PacingStamps stamps;
  int value = 0;
  Interleave(
      state, 32,
      [&] {
        stamps = PacingStamps{};
        benchmark::DoNotOptimize(SetChannel(rig.mod, stamps, 200, value++ & 0xFF));
      },
      [&] {
        benchmark::DoNotOptimize(::sendto(fd, packet.data(), packet.size(), MSG_NOSIGNAL,
                                          reinterpret_cast<const sockaddr*>(&to), sizeof to));
      });
  ::close(fd);
}
BENCHMARK(BM_Pair_SetChannelImmediate_BareSendto);

void BM_Pair_ReceiveUnchanged_Memcmp512(benchmark::State& state) {
  Rig& rig = TheRig();
  const Bytes packet = ArtDmx530(1, 7);
  HandleArtNetPacket(rig.mod, packet, kPeer);
  std::array<std::uint8_t, 512> a{};
  std::array<std::uint8_t, 512> b{};
  Interleave(
      state, 1000, [&] { HandleArtNetPacket(rig.mod, packet, kPeer); },
      [&] {
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(b.data());
        benchmark::DoNotOptimize(std::memcmp(a.data(), b.data(), a.size()));
      });
}
BENCHMARK(BM_Pair_ReceiveUnchanged_Memcmp512);

// ---- SetChannel -> wire --------------------------------------------------

// Sees every datagram leaving through artnet0, with the kernel's time stamp
// of the moment it was handed to the interface.
class WireTap {
 public:
  // ETH_P_ALL: only taps of every protocol see outgoing packets.
  WireTap() : fd_(::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL))) {
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_protocol = htons(ETH_P_ALL);
    link.sll_ifindex = static_cast<int>(::if_nametoindex("artnet0"));
    const int on = 1;
    ok_ = fd_ >= 0 && link.sll_ifindex != 0 &&
          ::bind(fd_, reinterpret_cast<const sockaddr*>(&link), sizeof link) == 0 &&
          ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
  }
  ~WireTap() {
    if (fd_ >= 0) ::close(fd_);
  }
  WireTap(const WireTap&) = delete;
  WireTap& operator=(const WireTap&) = delete;

  bool ok() const { return ok_; }
  void Drain() {
    while (Next(0) >= 0) {
    }
  }
  // CLOCK_REALTIME nanoseconds at which the next outgoing datagram left, or
  // -1 when none is there (after waiting up to timeoutMs).
  std::int64_t Next(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
      std::uint8_t packet[1600];
      sockaddr_ll from{};
      iovec data{packet, sizeof packet};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
      msghdr message{};
      message.msg_name = &from;
      message.msg_namelen = sizeof from;
      message.msg_iov = &data;
      message.msg_iovlen = 1;
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      if (::recvmsg(fd_, &message, 0) < 0) {
        if (timeoutMs <= 0 || ::poll(&p, 1, timeoutMs) <= 0) return -1;
        continue;
      }
      if (from.sll_pkttype != PACKET_OUTGOING) continue;  // the looped-back copy of a broadcast
      for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
        timespec at{};
        std::memcpy(&at, CMSG_DATA(c), sizeof at);
        return at.tv_sec * 1000000000LL + at.tv_nsec;
      }
    }
  }

 private:
  int fd_;
  bool ok_ = false;
};

std::int64_t RealtimeNs() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Median and 99th percentile of the latencies, in microseconds, as counters.
void ReportLatencies(benchmark::State& state, std::vector<double>& microseconds) {
  if (microseconds.empty()) return;
  std::sort(microseconds.begin(), microseconds.end());
  const auto at = [&](double q) { return microseconds[static_cast<std::size_t>(q * (microseconds.size() - 1))]; };
  state.counters["p50_us"] = at(0.50);
  state.counters["p99_us"] = at(0.99);
}

// A bare sendto of 530 bytes, from the call to the interface.
void BM_Limit_BareSendtoToWire(benchmark::State& state) {
  TheRig();
  WireTap tap;
  if (!tap.ok()) return state.SkipWithError("no packet tap on artnet0");
  const int fd = UdpSocket(0);
  const sockaddr_in to = Address(kBroadcast, kArtNetPort);
  const Bytes packet = ArtDmx530(0, 0);
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(state.max_iterations));
  for (auto _ : state) {
    tap.Drain();
    const std::int64_t start = RealtimeNs();
    ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    const std::int64_t left = tap.Next(100);
    if (left < 0) {
      state.SkipWithError("the datagram was not seen on artnet0");
      break;
    }
    latencies.push_back(static_cast<double>(left - start) / 1e3);
  }
  ::close(fd);
  ReportLatencies(state, latencies);
}
BENCHMARK(BM_Limit_BareSendtoToWire)->Iterations(2000);

// The host's immediate SetChannel, from the call to the interface.
void BM_SetChannelToWireImmediate(benchmark::State& state) {
  Rig& rig = TheRig();
  WireTap tap;
  if (!tap.ok()) return state.SkipWithError("no packet tap on artnet0");
  PacingStamps stamps;
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(state.max_iterations));
  int value = 0;
  for (auto _ : state) {
    tap.Drain();
    stamps = PacingStamps{};
    const std::int64_t start = RealtimeNs();
    SetChannel(rig.mod, stamps, 200, value++ & 0xFF);
    const std::int64_t left = tap.Next(100);
    if (left < 0) {
      state.SkipWithError("the datagram was not seen on artnet0");
      break;
    }
    latencies.push_back(static_cast<double>(left - start) / 1e3);
  }
  ReportLatencies(state, latencies);
}
BENCHMARK(BM_SetChannelToWireImmediate)->Iterations(2000);

// A call inside the window, from the call to the flush's datagram on the
// interface, with the event loop running as in a host.
void BM_SetChannelToWireDeferred(benchmark::State& state) {
  Rig& rig = TheRig();
  WireTap tap;
  if (!tap.ok()) return state.SkipWithError("no packet tap on artnet0");
  PacingStamps stamps;
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(state.max_iterations));
  int value = 0;
  for (auto _ : state) {
    stamps = PacingStamps{};
    SetChannel(rig.mod, stamps, 1, value++ & 0xFF);  // immediate: opens the window
    tap.Drain();
    const std::int64_t start = RealtimeNs();
    SetChannel(rig.mod, stamps, 2, value & 0xFF);  // deferred
    std::int64_t left = -1;
    QElapsedTimer waited;
    waited.start();
    while (left < 0 && waited.elapsed() < 500) {
      QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents);
      left = tap.Next(0);
    }
    if (left < 0) {
      state.SkipWithError("the datagram was not seen on artnet0");
      break;
    }
    latencies.push_back(static_cast<double>(left - start) / 1e3);
    while (rig.mod.Network->FlushArmed() && waited.elapsed() < 500)
      QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents);
  }
  ReportLatencies(state, latencies);
}
BENCHMARK(BM_SetChannelToWireDeferred)->Iterations(40)->Unit(benchmark::kMillisecond);

// ---- the ratio table ---------------------------------------------------

// Keeps every result (the median when repeated) and prints the table last.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}  // no colour codes: the output is kept in files

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      Result& r = results_[run.run_name.function_name];
      if (r.median && !median) continue;
      r.median = median;
      // CPU time: on a shared machine wall time also counts the time other
      // processes had the core; the kernel work of a syscall is in both.
      r.ns = run.GetAdjustedCPUTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      const auto allocs = run.counters.find("allocs/op");
      r.allocs = allocs == run.counters.end() ? -1 : static_cast<double>(allocs->second);
      for (const char* name : {"measured_ns", "limit_ns", "ratio"}) {
        const auto c = run.counters.find(name);
        if (c != run.counters.end()) r.pair[name] = c->second;
      }
      const auto p50 = run.counters.find("p50_us");
      const auto p99 = run.counters.find("p99_us");
      if (p50 != run.counters.end() && p99 != run.counters.end()) {
        r.p50 = p50->second;
        r.p99 = p99->second;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-40s %12s %12s %9s  %s\n", "path (medians of CPU time)", "measured", "limit", "ratio", "goal");
    Row("deferred SetChannel", "BM_SetChannelDeferred", 1, "BM_Limit_TwoCoarseClockReads", 1, "<= 2.0x", 2.0);
    Row("  (vs two precise reads)", "BM_SetChannelDeferred", 1, "BM_Limit_TwoPreciseClockReads", 1, "", 0);
    Row("the clock, two reads", "BM_SystemClock_TwoReads", 1, "BM_Limit_TwoCoarseClockReads", 1, "", 0);
    Row("immediate SetChannel, real socket", "BM_SetChannelImmediate", 1, "BM_Limit_BareSendto530", 1, "<= 1.1x", 1.1);
    Row("ArtDmx received, nothing changed", "BM_ReceiveArtDmxUnchanged", 1, "BM_Limit_Memcmp512", 1, "<= 3.0x", 3.0);
    Row("ArtDmx received, 512 changed, per call", "BM_ReceiveArtDmxAllChanged", 512, "BM_Limit_CompareCallUpdate512",
        512, "keep", 0);
    // Capacity: datagrams per second against the bare loop's, so the ratio is inverted.
    const Result* absorbed = Find("BM_DatagramsAbsorbed");
    const Result* bare = Find("BM_Limit_BareRecvfromLoop");
    if (absorbed != nullptr && bare != nullptr)
      std::printf("%-40s %9.1f ns %9.1f ns %8.2fx  capacity >= 1.0x (the receive loop work)\n",
                  "datagrams absorbed, drained burst, each", absorbed->ns / kBatch, bare->ns / kBatch,
                  bare->ns / absorbed->ns);
    std::printf("\ninterleaved rounds of limit and path (median of the per-round ratios):\n");
    PairRow("deferred SetChannel / two coarse reads", "BM_Pair_SetChannelDeferred_TwoCoarseReads", 2.0);
    PairRow("immediate SetChannel / bare sendto", "BM_Pair_SetChannelImmediate_BareSendto", 1.1);
    PairRow("ArtDmx nothing changed / memcmp 512", "BM_Pair_ReceiveUnchanged_Memcmp512", 3.0);
    std::printf("\nSetChannel -> wire (artnet0's packet tap), microseconds:\n");
    for (const char* name :
         {"BM_SetChannelToWireImmediate", "BM_Limit_BareSendtoToWire", "BM_SetChannelToWireDeferred"}) {
      const Result* r = Find(name);
      if (r != nullptr && r->p50 >= 0) std::printf("  %-36s p50 %9.1f  p99 %9.1f\n", name, r->p50, r->p99);
    }
    std::printf("\nheap allocations in steady state (goal 0 everywhere):\n");
    for (const auto& [name, result] : results_)
      if (result.allocs >= 0) std::printf("  %-36s %.3f per %s\n", name.c_str(), result.allocs, Unit(name));
  }

 private:
  struct Result {
    double ns = 0;
    double allocs = -1;
    double p50 = -1;
    double p99 = -1;
    std::map<std::string, double> pair;
    bool median = false;
  };

  const Result* Find(const std::string& name) const {
    const auto it = results_.find(name);
    return it == results_.end() ? nullptr : &it->second;
  }

  static const char* Unit(const std::string& name) {
    if (name == "BM_DeferredBatch") return "batch";
    if (name == "BM_DatagramsAbsorbed") return "datagram";
    if (name.find("Receive") != std::string::npos) return "packet";
    return "call";
  }

  void Row(const char* path, const char* measured, double perM, const char* limit, double perL, const char* goal,
           double bound) const {
    const Result* m = Find(measured);
    const Result* l = Find(limit);
    if (m == nullptr || l == nullptr) return;
    const double ratio = (m->ns / perM) / (l->ns / perL);
    const char* verdict = bound <= 0 ? "" : (ratio <= bound ? "  met" : "  missed");
    std::printf("%-40s %9.2f ns %9.2f ns %8.2fx  %s%s\n", path, m->ns / perM, l->ns / perL, ratio, goal, verdict);
  }

  void PairRow(const char* path, const char* name, double bound) const {
    const Result* r = Find(name);
    if (r == nullptr || r->pair.size() != 3) return;
    const double ratio = r->pair.at("ratio");
    std::printf("%-40s %9.2f ns %9.2f ns %8.2fx  <= %.1fx  %s\n", path, r->pair.at("measured_ns"),
                r->pair.at("limit_ns"), ratio, bound, ratio <= bound ? "met" : "missed");
  }

  std::map<std::string, Result> results_;
};

}  // namespace
}  // namespace artnet::bench

int main(int argc, char** argv) {
  const char* netns = std::getenv("ARTNET_TEST_NETNS");
  if (netns == nullptr || std::string(netns) != "1") {
    std::fprintf(stderr,
                 "platform_bench sends datagrams: run it through scripts/in-test-netns.sh (scripts/bench.sh does)\n");
    return 2;
  }
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  artnet::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
