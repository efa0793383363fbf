#pragma once

#include <gtest/gtest.h>

#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/qt/qt_datagram_socket.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/system_clock.h"

namespace artnet::itest {

// True only inside the private namespace made by scripts/in-test-netns.sh.
bool InTestNetns();

#define SKIP_UNLESS_TEST_NETNS() \
  if (!::artnet::itest::InTestNetns()) GTEST_SKIP() << "needs ARTNET_TEST_NETNS=1 (private network namespace)"

struct Received {
  std::vector<std::uint8_t> bytes;
  std::string senderIp;
  std::uint16_t senderPort = 0;
};

// A plain UDP socket to play the other program.
class RawUdp {
 public:
  // Binds ip:port (port 0 = any free port), asking to share the port with
  // SO_REUSEADDR when `share`; check ok().
  explicit RawUdp(std::uint16_t port = 0, const char* ip = "0.0.0.0", bool share = false);
  ~RawUdp();
  RawUdp(const RawUdp&) = delete;
  RawUdp& operator=(const RawUdp&) = delete;

  bool ok() const { return fd_ >= 0; }
  std::uint16_t port() const { return port_; }
  bool SendTo(const char* ip, std::uint16_t port, std::span<const std::uint8_t> bytes);
  bool SendTo(const char* ip, std::uint16_t port, const std::string& text);
  std::optional<Received> Receive(int timeoutMs);
  void Release();

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// Changes the test namespace's network (a shell command) for one test and
// undoes it at the end, or earlier through Undo(). A change that cannot be
// made fails the test.
class NetworkChange {
 public:
  NetworkChange(const std::string& apply, std::string undo);
  ~NetworkChange() { Undo(); }
  NetworkChange(const NetworkChange&) = delete;
  NetworkChange& operator=(const NetworkChange&) = delete;
  bool applied() const { return applied_; }
  void Undo();

 private:
  std::string undo_;
  bool applied_ = false;
};

// The changed networks: no route beyond the networks of loopback and
// artnet0; a second network office0 (192.168.77.1/24) holding the default
// route; artnet0 behind a slow queue (8 kbit/s, deep), which Undo() removes
// with the datagrams it holds.
NetworkChange Routeless();
NetworkChange MultiHomed();
NetworkChange SlowLink();

// Runs the Qt event loop until done() or the timeout; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
void PumpFor(int ms);
// A nested event loop for `ms`, as the scan and the warning box run one.
void NestedLoop(int ms);
// Runs `action` from the event loop once the events already queued are handled.
void PostToLoop(std::function<void()> action);

// A timer of the host's own on the thread's event loop, counting its ticks.
class HostTimer {
 public:
  explicit HostTimer(int ms) {
    timer_.callOnTimeout([this] { ++ticks_; });
    timer_.start(ms);
  }
  int ticks() const { return ticks_; }

 private:
  QTimer timer_;
  int ticks_ = 0;
};

std::vector<std::uint8_t> Bytes(const std::string& text);

// The Qt platform as the suites in tests/contract take it.
struct QtPlatform {
  using DatagramSocket = QtDatagramSocket;
  using Timer = QtTimer;
  using Clock = SystemClock;
  using EventPump = QtEventPump;
  using RawUdp = itest::RawUdp;
  static constexpr auto& InTestNetns = itest::InTestNetns;
  static constexpr auto& PumpUntil = itest::PumpUntil;
  static constexpr auto& PumpFor = itest::PumpFor;
  static constexpr auto& NestedLoop = itest::NestedLoop;
  static constexpr auto& PostToLoop = itest::PostToLoop;
  using HostTimer = itest::HostTimer;
  static constexpr auto& Routeless = itest::Routeless;
  static constexpr auto& MultiHomed = itest::MultiHomed;
  static constexpr auto& SlowLink = itest::SlowLink;
};

}  // namespace artnet::itest
