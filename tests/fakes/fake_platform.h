#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "lumenstage/plugin_helper.h"
#include "platform/interfaces/platform.h"

namespace artnet::fakes {

// Time of day and monotonic time that move only when a test says so.
class ManualClock final : public Clock {
 public:
  float SecondsSinceMidnight() override;
  double MonotonicSeconds() override { return monotonic; }

  float timeOfDay = 1000.0f;
  double monotonic = 0;
  // Readings handed out before timeOfDay, one per call.
  std::deque<float> scriptedReadings;
};

class ManualTimer final : public Timer {
 public:
  void SetInterval(int milliseconds) override { interval = milliseconds; }
  int SetEnabled(bool enabled_) override;
  bool Enabled() const override { return enabled; }
  void SetTickHandler(std::function<void()> handler_) override { handler = std::move(handler_); }

  // Runs the tick handler as the event loop would, if the timer is enabled.
  void Tick();

  int interval = 0;
  bool enabled = false;
  int enableError = 0;
  int enableCalls = 0;
  std::function<void()> handler;
};

struct SentDatagram {
  std::string remoteHost;
  int remotePort;
  int localPort;
  std::vector<std::uint8_t> bytes;
};

// An in-memory UDP socket: records what it is asked to do and what it sends.
class FakeDatagramSocket final : public DatagramSocket {
 public:
  int Open(int port) override;
  int Close() override;
  int SendTo(IPv4 address, int port, std::span<const std::uint8_t> packet) override;
  int LocalAddressTowards(std::optional<IPv4> destination, std::string& address) override;
  void SetReceiveHandler(ReceiveHandler handler) override { receive = std::move(handler); }
  void SetWritableHandler(std::function<void()> handler) override { writable = std::move(handler); }

  // Delivers one datagram as if it had arrived from `sender`.
  void Deliver(std::vector<std::uint8_t> datagram, const std::string& sender = "10.0.0.9");
  // The send buffer drains: raises Writable once if a send was refused.
  void Drain();

  bool open = false;
  int boundPort = 0;
  std::string localIP = "10.0.0.1";
  std::vector<std::string> localIPTowards;  // the destination of each LocalAddressTowards ("" for none)
  bool sendBufferFull = false;              // SendTo refuses with kSockErrWouldBlock
  int refusedSends = 0;
  std::set<int> heldPorts;  // ports another program holds
  int closeError = 0;
  int localIPError = 0;
  int nextFreePort = 50000;
  bool recording = true;         // benchmarks switch off the log and the record of sent datagrams
  std::vector<std::string> log;  // operations in order: "Bind <port>", "SendTo <address>", "Close"
  std::vector<SentDatagram> sent;
  ReceiveHandler receive;
  std::function<void()> writable;
  // Runs inside SendTo, after the datagram was recorded (a nested loop).
  std::function<void()> onSend;

 private:
  bool writableDue_ = false;
};

class MemorySettingsStore final : public SettingsStore {
 public:
  std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                         const std::string& defaultValue) override;
  int SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                  const std::string& value) override;

  using Address = std::tuple<std::string, std::string, std::string>;
  std::map<Address, std::string> values;
  std::vector<std::string> saveOrder;  // keys in the order they were saved
  int saveError = 0;                   // reported by every save after the first savesBeforeError
  std::size_t savesBeforeError = 0;
};

class RecordingWarningBox final : public WarningBox {
 public:
  void ShowCritical(const std::string& text) override;

  std::vector<std::string> shown;
  std::function<void()> whileShown;  // a nested loop while the box is open
};

class FakeEventPump final : public EventPump {
 public:
  explicit FakeEventPump(ManualClock& clock) : clock_(clock) {}
  void DoEvents() override;
  void Sleep(int milliseconds) override;

  int doEventsCalls = 0;
  std::function<void()> onDoEvents;

 private:
  ManualClock& clock_;
};

class FakeDialogRunner final : public DialogRunner {
 public:
  int ShowConfigDialog(ConfigDialogServices& services) override;

  int result = 0;
  int shown = 0;
  std::function<void(ConfigDialogServices&)> whileShown;
};

class FakePlatform final : public Platform {
 public:
  FakePlatform() : pump(clock) {}

  std::unique_ptr<DatagramSocket> CreateDatagramSocket() override;
  std::unique_ptr<Timer> CreateTimer() override;
  Clock& GetClock() override { return clock; }
  SettingsStore& Settings() override { return settings; }
  WarningBox& Messages() override { return messages; }
  EventPump& Pump() override { return pump; }
  DialogRunner& Dialogs() override { return dialogs; }

  ManualClock clock;
  MemorySettingsStore settings;
  RecordingWarningBox messages;
  FakeEventPump pump;
  FakeDialogRunner dialogs;
  // Owned by the module once created; the first socket and the timers in creation order.
  FakeDatagramSocket* socket = nullptr;
  std::vector<ManualTimer*> timers;
  // Settings applied to every socket created.
  std::function<void(FakeDatagramSocket&)> configureSocket;
};

// The host's helper object: records every late-bound call.
class RecordingHelper final : public lumenstage::IPluginHelper {
 public:
  void AddRef() override { ++refs; }
  void Release() override { --refs; }
  std::int32_t Invoke(const char* method, const lumenstage::HelperArg* args, std::int32_t count) override;

  struct Call {
    std::string method;
    std::vector<std::int32_t> args;
  };
  std::vector<Call> calls;
  int refs = 0;
  int failAtCall = -1;  // index of the call that reports an error (after onCall has run)
  std::function<void(const Call&)> onCall;
};

// A helper that lives on the heap and deletes itself on its final Release, as
// a reference-counted host's object does. What happens to it is written to a
// journal the test owns, which stays readable after the helper is gone.
class CountedHelper final : public lumenstage::IPluginHelper {
 public:
  struct Journal {
    int calls = 0;
    int callsInProgress = 0;
    bool destroyed = false;
    bool destroyedDuringItsOwnCall = false;
    std::function<void()> onCall;  // the host's work inside the call
  };

  // The new object carries one reference, its creator's.
  static CountedHelper* Create(Journal& journal) { return new CountedHelper(journal); }

  void AddRef() override { ++refs_; }
  void Release() override;
  std::int32_t Invoke(const char* method, const lumenstage::HelperArg* args, std::int32_t count) override;

 private:
  explicit CountedHelper(Journal& journal) : journal_(journal) {}
  ~CountedHelper() = default;

  Journal& journal_;
  int refs_ = 1;
};

}  // namespace artnet::fakes
