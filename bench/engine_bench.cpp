// Costs of the hot paths (SetChannel, SendArtDmx, receiving ArtDmx) and of
// filing node replies, on fake platform parts. "allocs/op" must stay 0 for
// the steady-state paths.
#include <benchmark/benchmark.h>

#include <vector>

#include "allocation_counter.h"
#include "driver/cls_output_driver.h"
#include "engine/dispatcher.h"
#include "engine/module_state.h"
#include "engine/node_table.h"
#include "engine/senders.h"
#include "fakes/fake_platform.h"

namespace artnet::bench {
namespace {

constexpr IPv4 kPeer = 0x0A000009;  // 10.0.0.9, the sender of every datagram handled

using Bytes = std::vector<std::uint8_t>;

class NullHelper final : public lumenstage::IPluginHelper {
 public:
  void AddRef() override {}
  void Release() override {}
  std::int32_t Invoke(const char*, const lumenstage::HelperArg* args, std::int32_t) override {
    benchmark::DoNotOptimize(args[1].value);
    return 0;
  }
};

// A module enabled on fake parts that neither log nor keep what they send.
struct Rig {
  fakes::FakePlatform platform;
  NullHelper helper;
  ModuleState mod{platform};
  clsOutputDriver driver{mod};

  Rig() {
    platform.configureSocket = [](fakes::FakeDatagramSocket& s) { s.recording = false; };
    platform.settings.values[{"Lumenstage", "Plugins\\ArtNet.dll", "ArtNet_BroadcastAdress"}] = "10.0.0.255";
    lumenstage::VBool result;
    (void)driver.Init("Lumenstage", "ArtNet.dll", &helper, &result);
    (void)driver.Enable(&result);
    for (int ch = 1; ch <= 512; ++ch) (void)driver.SetChannel(ch, 0, &result);
  }
};

void ReportAllocations(benchmark::State& state, std::uint64_t before) {
  state.counters["allocs/op"] =
      benchmark::Counter(static_cast<double>(AllocationCount() - before), benchmark::Counter::kAvgIterations);
}

// Inside the 40 ms window: the value is stored and the flush stays armed.
void BM_SetChannelDeferred(benchmark::State& state) {
  Rig rig;
  rig.platform.clock.timeOfDay = 100.0f;
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

// Outside the window: a whole 512-channel ArtDmx is built and sent each call.
void BM_SetChannelImmediate(benchmark::State& state) {
  Rig rig;
  lumenstage::VBool result;
  const std::uint64_t before = AllocationCount();
  int value = 0;
  for (auto _ : state) {
    rig.platform.clock.timeOfDay += 1.0f;
    (void)rig.driver.SetChannel(200, value++ & 0xFF, &result);
    benchmark::DoNotOptimize(result);
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_SetChannelImmediate);

void BM_SendArtDmx512(benchmark::State& state) {
  Rig rig;
  const std::uint64_t before = AllocationCount();
  for (auto _ : state) SendArtDmx(rig.mod, 0, rig.mod.Output.Buffer);
  ReportAllocations(state, before);
}
BENCHMARK(BM_SendArtDmx512);

Bytes ArtDmx530(std::uint8_t fill) {
  Bytes packet = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0, 14, 1, 0, 0x01, 0, 0x02, 0x00};
  packet.resize(530, fill);
  return packet;
}

// A repeated frame: every channel equals what the host was last told.
void BM_ReceiveArtDmxUnchanged(benchmark::State& state) {
  Rig rig;
  const Bytes packet = ArtDmx530(7);
  HandleArtNetPacket(rig.mod, packet, kPeer);
  const std::uint64_t before = AllocationCount();
  for (auto _ : state) HandleArtNetPacket(rig.mod, packet, kPeer);
  ReportAllocations(state, before);
}
BENCHMARK(BM_ReceiveArtDmxUnchanged);

// Every one of the 512 channels changes: 512 host calls per packet.
void BM_ReceiveArtDmxAllChanged(benchmark::State& state) {
  Rig rig;
  const Bytes frames[2] = {ArtDmx530(1), ArtDmx530(2)};
  std::size_t i = 0;
  const std::uint64_t before = AllocationCount();
  for (auto _ : state) HandleArtNetPacket(rig.mod, frames[i++ & 1], kPeer);
  ReportAllocations(state, before);
}
BENCHMARK(BM_ReceiveArtDmxAllChanged);

Bytes Reply(std::uint32_t n) {
  Bytes reply(239, 0);
  const Bytes header = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x21};
  std::copy(header.begin(), header.end(), reply.begin());
  reply[10] = 10;
  reply[11] = static_cast<std::uint8_t>(n >> 16);
  reply[12] = static_cast<std::uint8_t>(n >> 8);
  reply[13] = static_cast<std::uint8_t>(n);
  reply[26] = 'N';
  reply[173] = 1;
  return reply;
}

// A flood: 1024 distinct nodes fill the table, then 100,000 more replies,
// half of them repeats of filed nodes and half new nodes beyond the bound.
void BM_FileReplyFlood(benchmark::State& state) {
  std::vector<Bytes> replies;
  for (std::uint32_t n = 0; n < 1024; ++n) replies.push_back(Reply(n));
  for (std::uint32_t n = 0; n < 100000; ++n) replies.push_back(Reply(n % 2 == 0 ? n % 1024 : 1024 + n));
  for (auto _ : state) {
    NodeTable table;
    table.Reset();
    for (const Bytes& reply : replies) table.AddNodeFromPollReply(reply);
    benchmark::DoNotOptimize(table.Count());
  }
  state.counters["replies"] = static_cast<double>(replies.size());
  state.counters["ns/reply"] = benchmark::Counter(
      static_cast<double>(replies.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FileReplyFlood)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace artnet::bench

BENCHMARK_MAIN();
