#include "fake_platform.h"

#include <algorithm>

#include "protocol/conversions.h"

namespace artnet::fakes {

float ManualClock::SecondsSinceMidnight() {
  if (!scriptedReadings.empty()) {
    const float reading = scriptedReadings.front();
    scriptedReadings.pop_front();
    return reading;
  }
  return timeOfDay;
}

int ManualTimer::SetEnabled(bool enabled_) {
  ++enableCalls;
  if (enableError != 0) return enableError;
  enabled = enabled_;
  return 0;
}

void ManualTimer::Tick() {
  if (enabled && handler) handler();
}

int FakeDatagramSocket::Open(int port) {
  if (recording) log.push_back("Bind " + std::to_string(port));
  if (open) return kSockErrWrongState;
  if (port != 0 && heldPorts.count(port) != 0) return kSockErrAddressInUse;
  open = true;
  boundPort = port != 0 ? port : nextFreePort++;
  return 0;
}

int FakeDatagramSocket::Close() {
  if (recording) log.push_back("Close");
  if (closeError != 0) return closeError;
  open = false;
  return 0;
}

namespace {

std::string Dotted(IPv4 address) {
  return IPv4ToText({static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
                     static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)});
}

}  // namespace

int FakeDatagramSocket::SendTo(IPv4 address, int port, std::span<const std::uint8_t> packet) {
  if (recording) log.push_back("SendTo " + Dotted(address));
  if (!open) return kSockErrWrongState;
  if (sendBufferFull) {
    ++refusedSends;
    writableDue_ = true;
    return kSockErrWouldBlock;
  }
  if (recording) sent.push_back({Dotted(address), port, boundPort, {packet.begin(), packet.end()}});
  if (onSend) onSend();
  return 0;
}

int FakeDatagramSocket::LocalAddressTowards(std::optional<IPv4> destination, std::string& address) {
  localIPTowards.push_back(destination ? Dotted(*destination) : "");
  if (localIPError != 0) return localIPError;
  address = localIP;
  return 0;
}

void FakeDatagramSocket::Drain() {
  sendBufferFull = false;
  if (!writableDue_) return;
  writableDue_ = false;
  if (writable) writable();
}

void FakeDatagramSocket::Deliver(std::vector<std::uint8_t> datagram, const std::string& sender) {
  // The vector is this level's slot: a nested delivery brings its own.
  if (receive) receive(datagram, ParseDestination(sender).value_or(0));
}

std::string MemorySettingsStore::GetSetting(const std::string& appName, const std::string& section,
                                            const std::string& key, const std::string& defaultValue) {
  const auto found = values.find({appName, section, key});
  return found == values.end() ? defaultValue : found->second;
}

int MemorySettingsStore::SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                                     const std::string& value) {
  if (saveError != 0 && saveOrder.size() >= savesBeforeError) return saveError;
  values[{appName, section, key}] = value;
  saveOrder.push_back(key);
  return 0;
}

void RecordingWarningBox::ShowCritical(const std::string& text) {
  shown.push_back(text);
  if (whileShown) whileShown();
}

void FakeEventPump::DoEvents() {
  ++doEventsCalls;
  if (onDoEvents) onDoEvents();
}

void FakeEventPump::Sleep(int milliseconds) { clock_.monotonic += milliseconds / 1000.0; }

int FakeDialogRunner::ShowConfigDialog(ConfigDialogServices& services) {
  ++shown;
  if (whileShown) whileShown(services);
  return result;
}

std::unique_ptr<DatagramSocket> FakePlatform::CreateDatagramSocket() {
  auto created = std::make_unique<FakeDatagramSocket>();
  if (configureSocket) configureSocket(*created);
  if (socket == nullptr) socket = created.get();
  return created;
}

std::unique_ptr<Timer> FakePlatform::CreateTimer() {
  auto timer = std::make_unique<ManualTimer>();
  timers.push_back(timer.get());
  return timer;
}

std::int32_t RecordingHelper::Invoke(const char* method, const lumenstage::HelperArg* args, std::int32_t count) {
  Call call{method, {}};
  for (std::int32_t i = 0; i < count; ++i) call.args.push_back(args[i].value);
  const int index = static_cast<int>(calls.size());
  calls.push_back(call);
  if (onCall) onCall(call);
  return index == failAtCall ? 5 : 0;
}

void CountedHelper::Release() {
  if (--refs_ > 0) return;
  journal_.destroyed = true;
  if (journal_.callsInProgress > 0) journal_.destroyedDuringItsOwnCall = true;
  delete this;
}

std::int32_t CountedHelper::Invoke(const char*, const lumenstage::HelperArg*, std::int32_t) {
  Journal& journal = journal_;
  ++journal.calls;
  ++journal.callsInProgress;
  if (journal.onCall) journal.onCall();
  --journal.callsInProgress;
  // Like any real object's method, it reads its own state on the way out:
  // AddressSanitizer reports this read if the object was freed meanwhile.
  return refs_ > 0 ? 0 : 51;
}

}  // namespace artnet::fakes
