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

int FakeSocketControl::GetState(int& state_) {
  state_ = open ? kSockStateOpen : kSockStateClosed;
  return 0;
}

int FakeSocketControl::Close() {
  if (recording) log.push_back("Close");
  if (closeError != 0) return closeError;
  open = false;
  return 0;
}

int FakeSocketControl::SetLocalPort(int port) {
  if (recording) log.push_back("LocalPort=" + std::to_string(port));
  localPort = port;
  return 0;
}

int FakeSocketControl::GetLocalPort(int& port) {
  port = open ? boundPort : localPort;
  return 0;
}

int FakeSocketControl::SetRemotePort(int port) {
  remotePort = port;
  return 0;
}

int FakeSocketControl::SetRemoteHost(const std::string& host) {
  if (recording) log.push_back("RemoteHost=" + host);
  remoteHost = host;
  return 0;
}

int FakeSocketControl::OpenOn(int port) {
  if (port != 0 && heldPorts.count(port) != 0) return kSockErrAddressInUse;
  open = true;
  boundPort = port != 0 ? port : nextFreePort++;
  return 0;
}

int FakeSocketControl::Bind(int port) {
  if (recording) log.push_back("Bind " + std::to_string(port));
  if (open) return kSockErrWrongState;
  return OpenOn(port);
}

int FakeSocketControl::SendData(std::span<const std::uint8_t> packet) {
  if (recording) log.push_back("SendData");
  if (!open) {
    if (const int error = OpenOn(localPort); error != 0) return error;
  }
  // Only the plain dotted form, as a real socket's address parser takes it.
  const auto address = ParseIPv4(remoteHost);
  if (!address || IPv4ToText(*address) != remoteHost) return kSockErrHostNotFound;
  if (sendBufferFull) {
    ++refusedSends;
    writableDue_ = true;
    return kSockErrWouldBlock;
  }
  if (recording) sent.push_back({remoteHost, remotePort, boundPort, {packet.begin(), packet.end()}});
  if (onSend) onSend();
  return 0;
}

int FakeSocketControl::GetData(std::span<std::uint8_t> out, std::size_t& length) {
  if (current_.empty()) return kSockErrNoData;
  const auto& bytes = current_.back().bytes;
  length = std::min(out.size(), bytes.size());
  std::copy_n(bytes.begin(), length, out.begin());
  return 0;
}

int FakeSocketControl::GetRemoteHostIP(std::string& ip) {
  if (current_.empty()) return kSockErrNoData;
  ip = current_.back().sender;
  return 0;
}

int FakeSocketControl::GetLocalIP(const std::string& towards, std::string& ip) {
  localIPTowards.push_back(towards);
  if (localIPError != 0) return localIPError;
  ip = localIP;
  return 0;
}

void FakeSocketControl::Drain() {
  sendBufferFull = false;
  if (!writableDue_) return;
  writableDue_ = false;
  if (writable) writable();
}

void FakeSocketControl::Deliver(std::vector<std::uint8_t> datagram, const std::string& sender) {
  current_.push_back({std::move(datagram), sender});
  if (dataArrival) dataArrival();
  current_.pop_back();
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

std::unique_ptr<SocketControl> FakePlatform::CreateSocketControl() {
  auto control = std::make_unique<FakeSocketControl>();
  if (configureSocket) configureSocket(*control);
  if (socket == nullptr) socket = control.get();
  return control;
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
