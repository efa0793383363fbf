// Arbitrary datagrams into the receive path, interleaved with the host's
// calls and timer ticks, on the fake platform (no network). The host's helper
// object does what the input tells it inside each call: fails, calls the
// plug-in back, re-initialises it with a new helper, pumps events or has a
// nested datagram delivered.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/cls_output_driver.h"
#include "engine/connection.h"
#include "engine/module_state.h"
#include "engine/transport.h"
#include "fakes/fake_platform.h"
#include "protocol/packets.h"
#include "ui/config_dialog_services.h"

namespace {

using artnet::kMaxDmxChannels;

#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)

// Limits that keep one input cheap: nested loops inside nested loops
// multiply, and a scan pumps events 4,000 times.
constexpr int kMaxDepth = 3;
constexpr int kMaxActions = 256;

// A failure reaches the host as a status, with the result false.
void CheckFailureIsFalse(const lumenstage::Status& status, lumenstage::VBool result) {
  if (!status.ok()) FUZZ_CHECK(result == lumenstage::kFalse);
}

struct Run;

// A host's helper object: reference counted, freed on its last Release, so
// AddressSanitizer sees any call on a helper the plug-in let go of.
class FuzzHelper final : public lumenstage::IPluginHelper {
 public:
  explicit FuzzHelper(Run& run) : run_(run) {}
  void AddRef() override { ++refs_; }
  void Release() override {
    FUZZ_CHECK(refs_ > 0);
    if (--refs_ == 0) delete this;
  }
  std::int32_t Invoke(const char* method, const lumenstage::HelperArg* args, std::int32_t count) override;

 private:
  ~FuzzHelper() = default;
  Run& run_;
  int refs_ = 1;  // its creator's
};

struct Run {
  explicit Run(FuzzedDataProvider& in) : in(in) {}

  FuzzedDataProvider& in;
  artnet::fakes::FakePlatform platform;
  artnet::ModuleState mod{platform};
  artnet::clsOutputDriver driver{mod};
  int depth = 0;
  int actions = 0;
  bool inDialog = false;
  // What the host has been told of the receive universe, channel by channel.
  std::array<std::uint8_t, kMaxDmxChannels> told{};

  artnet::fakes::FakeDatagramSocket& Socket() {
    artnet::Connect(mod);
    return *platform.socket;
  }
  artnet::fakes::ManualTimer& TimerAt(std::size_t index) {
    artnet::Connect(mod);
    return *platform.timers.at(index);
  }

  void InitWithNewHelper() {
    lumenstage::IPluginHelper* helper = nullptr;
    FuzzHelper* created = nullptr;
    if (in.ConsumeBool()) helper = created = new FuzzHelper(*this);
    lumenstage::VBool result = 1;
    const lumenstage::Status status =
        driver.Init(in.ConsumeBool() ? "Lumenstage" : "", in.ConsumeBool() ? "libArtNet.so" : "x", helper, &result);
    FUZZ_CHECK(status.ok() && result == lumenstage::kFalse);
    // The host lets go of its own reference: the plug-in's keeps it alive.
    if (created != nullptr) created->Release();
  }

  std::vector<std::uint8_t> Datagram() {
    static constexpr std::uint16_t kOps[] = {artnet::kOpDmx, artnet::kOpPoll, artnet::kOpPollReply, 0x5100};
    const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, 600);
    std::vector<std::uint8_t> bytes;
    if (in.ConsumeBool()) {
      // A well-formed start, so the handlers behind the OpCode are reached often.
      bytes = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
      const std::uint16_t op = kOps[in.ConsumeIntegralInRange<std::size_t>(0, 3)];
      bytes.push_back(static_cast<std::uint8_t>(op & 0xFF));
      bytes.push_back(static_cast<std::uint8_t>(op >> 8));
    }
    const std::vector<std::uint8_t> rest = in.ConsumeBytes<std::uint8_t>(length);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
  }

  std::int32_t Number(std::int32_t low, std::int32_t high) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(low, high) : in.ConsumeIntegral<std::int32_t>();
  }

  void ChangeSettings() {
    static const char* const kAddresses[] = {"10.0.0.255", "127.0.0.1", " 010.0.000.255 ", "localhost", "", "10.77.0"};
    artnet::ArtNetSettings& s = mod.Settings;
    s.BroadcastAddress = kAddresses[in.ConsumeIntegralInRange<std::size_t>(0, 5)];
    s.SubNet = Number(-1, 16);
    s.SendUniverse = Number(-1, 16);
    s.ReceiveUniverse = Number(-1, 16);
  }

  void Deliver() {
    static const char* const kSenders[] = {"10.0.0.9", "127.0.0.1", "", "not an address"};
    std::vector<std::uint8_t> datagram = Datagram();
    Socket().Deliver(std::move(datagram), kSenders[in.ConsumeIntegralInRange<std::size_t>(0, 3)]);
  }

  void Configure() {
    if (inDialog) return;
    inDialog = true;
    platform.dialogs.result = in.ConsumeBool() ? 0 : 445;
    platform.dialogs.whileShown = [this](artnet::ConfigDialogServices& services) {
      if (in.ConsumeBool()) services.ScanNodes();
      if (in.ConsumeBool()) services.SendPollReply(in.ConsumeBool() ? "10.0.0.9" : "bad");
      FUZZ_CHECK(services.Nodes().Count() <= static_cast<std::int32_t>(artnet::NodeTable::kMaxNodes));
    };
    lumenstage::VBool result = 1;
    const lumenstage::Status status = driver.Configure(&result);
    FUZZ_CHECK(result == lumenstage::kFalse);
    FUZZ_CHECK(status.ok() == (platform.dialogs.result == 0));
    inDialog = false;
  }

  // One thing the host, the network or the event loop does.
  void Act() {
    if (++actions > kMaxActions || in.remaining_bytes() == 0) return;
    ++depth;
    lumenstage::VBool result = 0;
    switch (in.ConsumeIntegralInRange<int>(0, 13)) {
      case 0:
      case 1:
        if (depth <= kMaxDepth) Deliver();
        break;
      case 2: {
        const std::int32_t channel = Number(-1, 513);
        const lumenstage::Status status = driver.SetChannel(channel, Number(-1, 256), &result);
        if (channel > 512) FUZZ_CHECK(status.ok() && result == lumenstage::kFalse);
        if (!status.ok()) FUZZ_CHECK(result == lumenstage::kFalse);
        break;
      }
      case 3:
        TimerAt(0).Tick();  // flush
        break;
      case 4:
        TimerAt(1).Tick();  // refresh
        break;
      case 5:
        platform.clock.timeOfDay += in.ConsumeFloatingPointInRange<float>(0.0f, 0.1f);
        platform.clock.monotonic += in.ConsumeFloatingPointInRange<double>(0.0, 5.0);
        break;
      case 6:
        CheckFailureIsFalse(driver.Enable(&result), result);
        break;
      case 7:
        CheckFailureIsFalse(driver.Disable(&result), result);
        break;
      case 8:
        CheckFailureIsFalse(driver.Term(&result), result);
        break;
      case 9:
        InitWithNewHelper();
        break;
      case 10:
        if (in.ConsumeBool()) {
          Socket().sendBufferFull = true;
        } else {
          Socket().Drain();
        }
        break;
      case 11:
        ChangeSettings();
        break;
      case 12:
        if (depth <= kMaxDepth) Configure();
        break;
      case 13:
        platform.pump.DoEvents();
        break;
    }
    --depth;
    if (depth == 0) CheckAtRest();
  }

  // A nested loop run by the platform (a message box, a scan's pump) does
  // what the input says, a little at a time.
  void Nested() {
    if (depth < kMaxDepth && in.ConsumeBool()) Act();
  }

  void CheckSent() {
    for (const artnet::fakes::SentDatagram& d : Socket().sent) {
      const std::vector<std::uint8_t>& b = d.bytes;
      FUZZ_CHECK(d.remotePort == artnet::kArtNetPort);
      FUZZ_CHECK(b.size() >= artnet::kHeaderSize);
      FUZZ_CHECK(std::memcmp(b.data(), "Art-Net", 8) == 0);
      const int op = b[8] | b[9] << 8;
      if (op == artnet::kOpPoll) {
        FUZZ_CHECK(b.size() == artnet::kArtPollSize);
      } else if (op == artnet::kOpPollReply) {
        FUZZ_CHECK(b.size() == artnet::kArtPollReplySize);
      } else {
        FUZZ_CHECK(op == artnet::kOpDmx);
        FUZZ_CHECK(b.size() >= artnet::kArtDmxHeaderSize);
        const std::size_t length = static_cast<std::size_t>(b[16] << 8 | b[17]);
        FUZZ_CHECK(length >= 2 && length <= kMaxDmxChannels);
        FUZZ_CHECK(b.size() == artnet::kArtDmxHeaderSize + length);
        FUZZ_CHECK(b[12] != 0);  // a sequence of 0 would switch receivers' ordering off
      }
    }
    Socket().sent.clear();
    Socket().log.clear();
  }

  void CheckAtRest() {
    FUZZ_CHECK(mod.Output.Buffer.size() <= kMaxDmxChannels);
    FUZZ_CHECK(mod.Output.HighestChannel <= static_cast<std::int32_t>(kMaxDmxChannels));
    FUZZ_CHECK(mod.Output.Buffer.size() >= static_cast<std::size_t>(std::max(mod.Output.HighestChannel, 0)));
    FUZZ_CHECK(mod.Nodes.Count() <= static_cast<std::int32_t>(artnet::NodeTable::kMaxNodes));
    // What the plug-in believes it told the host is what the host was told.
    FUZZ_CHECK(mod.Input.Shadow == told);
    CheckSent();
  }
};

std::int32_t FuzzHelper::Invoke(const char* method, const lumenstage::HelperArg* args, std::int32_t count) {
  Run& run = run_;
  AddRef();  // the object stays valid for its own call whatever the host does meanwhile
  FUZZ_CHECK(std::strcmp(method, "LMST_DMXIn_SetChannel") == 0);
  FUZZ_CHECK(count == 2);
  FUZZ_CHECK(args[0].type == lumenstage::HelperArg::Type::Long && args[1].type == lumenstage::HelperArg::Type::Byte);
  FUZZ_CHECK(args[0].value >= 1 && args[0].value <= static_cast<std::int32_t>(kMaxDmxChannels));
  FUZZ_CHECK(args[1].value >= 0 && args[1].value <= 255);
  const bool fails = run.in.ConsumeIntegralInRange<int>(0, 7) == 7;  // an exhausted input succeeds
  if (!fails) run.told[static_cast<std::size_t>(args[0].value - 1)] = static_cast<std::uint8_t>(args[1].value);
  // The host's own work inside the call, which may re-enter the plug-in.
  const int work = run.in.ConsumeIntegralInRange<int>(0, 3);
  for (int i = 0; i < work && run.depth <= kMaxDepth; ++i) run.Act();
  Release();
  return fails ? 5 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  Run run(in);
  run.platform.messages.whileShown = [&run] { run.Nested(); };
  run.platform.pump.onDoEvents = [&run] {
    run.Nested();
    run.platform.clock.monotonic += 0.05;  // a scan ends after some 80 pumps, not 4,000
  };
  run.InitWithNewHelper();
  if (in.ConsumeBool()) run.ChangeSettings();
  while (in.remaining_bytes() > 0 && run.actions < kMaxActions) run.Act();
  run.CheckAtRest();
  // The module's reference to the last helper goes with the module.
  return 0;
}
