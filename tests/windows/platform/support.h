#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_datagram_socket.h"
#include "platform/win32/win32_event_pump.h"
#include "platform/win32/win32_timer.h"

namespace artnet::wtest {

// True when the environment variable holds "1".
bool Flag(const char* name);

// Networked cases run only inside a private network namespace
// (scripts/in-test-netns.sh sets ARTNET_TEST_NETNS=1; Wine passes it on).
bool InTestNetns();

struct Received {
  std::vector<std::uint8_t> bytes;
  std::string senderIp;
  std::uint16_t senderPort = 0;
};

// A plain blocking Winsock UDP socket to play the other program.
class RawUdp {
 public:
  // Binds ip:port (port 0 = any free port), asking to share the port with
  // SO_REUSEADDR when `share`; check ok().
  explicit RawUdp(std::uint16_t port = 0, const char* ip = "0.0.0.0", bool share = false);
  ~RawUdp();
  RawUdp(const RawUdp&) = delete;
  RawUdp& operator=(const RawUdp&) = delete;

  bool ok() const { return ok_; }
  std::uint16_t port() const { return port_; }
  bool SendTo(const char* ip, std::uint16_t port, const std::string& text);
  std::optional<Received> Receive(int timeoutMs);

 private:
  std::uintptr_t socket_;
  bool ok_ = false;
  std::uint16_t port_ = 0;
};

// A network changed for one case by changed-network.sh, which runs this
// program in a namespace of its own with the case's flag set: no route
// beyond the networks of loopback and artnet0 (ARTNET_TEST_ROUTELESS); a
// second network office0 (192.168.77.1/24) holding the default route
// (ARTNET_TEST_MULTIHOMED); artnet0 behind a slow queue (ARTNET_TEST_SLOW_LINK),
// which Undo() asks the script to remove by creating the file
// ARTNET_TEST_DRAIN_FILE names. Elsewhere it is not applied.
class NetworkChange {
 public:
  explicit NetworkChange(const char* flag) : applied_(Flag(flag)) {}
  bool applied() const { return applied_; }
  void Undo();

 private:
  bool applied_;
};
NetworkChange Routeless();
NetworkChange MultiHomed();
NetworkChange SlowLink();

// Runs the thread's message loop until done() or the timeout; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
void PumpFor(int ms);
// A nested message loop for `ms`, as the scan's pump and the warning box run one.
void NestedLoop(int ms);

// Runs `action` from the message loop once the messages already queued are
// handled (a posted message to a window of the test's own).
void PostToLoop(std::function<void()> action);

// A timer of the host's own on the thread's message loop (SetTimer without a
// window), counting its ticks. One at a time.
class HostTimer {
 public:
  explicit HostTimer(int ms);
  ~HostTimer();
  HostTimer(const HostTimer&) = delete;
  HostTimer& operator=(const HostTimer&) = delete;
  int ticks() const;

 private:
  std::uintptr_t id_;
};

std::vector<std::uint8_t> Bytes(const std::string& text);

// The hidden window a platform owns, one for the tests' thread.
win32::MessageWindow& TestWindow();
// Sockets and timers on it, made as the contract suites make them.
struct TestDatagramSocket final : Win32DatagramSocket {
  TestDatagramSocket() : Win32DatagramSocket(TestWindow()) {}
};
struct TestTimer final : Win32Timer {
  TestTimer() : Win32Timer(TestWindow()) {}
};

// The Win32 platform as the suites in tests/contract take it.
struct Win32Platform {
  using DatagramSocket = TestDatagramSocket;
  using Timer = TestTimer;
  using Clock = Win32Clock;
  using EventPump = Win32EventPump;
  using RawUdp = wtest::RawUdp;
  static constexpr auto& InTestNetns = wtest::InTestNetns;
  static constexpr auto& PumpUntil = wtest::PumpUntil;
  static constexpr auto& PumpFor = wtest::PumpFor;
  static constexpr auto& NestedLoop = wtest::NestedLoop;
  static constexpr auto& PostToLoop = wtest::PostToLoop;
  using HostTimer = wtest::HostTimer;
  static constexpr auto& Routeless = wtest::Routeless;
  static constexpr auto& MultiHomed = wtest::MultiHomed;
  static constexpr auto& SlowLink = wtest::SlowLink;
};

}  // namespace artnet::wtest
