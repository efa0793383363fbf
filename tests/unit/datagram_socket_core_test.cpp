// The datagram socket's shared logic on scripted system calls, and the
// choice of the lighting interface it rests on.
#include "platform/core/datagram_socket_core.h"

#include <gtest/gtest.h>

#include <map>

namespace artnet {
namespace {

using Log = std::vector<std::string>;

constexpr IPv4 Ip(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }

const InterfaceAddress kLoopback{Ip(127, 0, 0, 1), Ip(255, 0, 0, 0), 1, true};
const InterfaceAddress kOffice{Ip(192, 168, 1, 20), Ip(255, 255, 255, 0), 2};
const InterfaceAddress kLighting{Ip(2, 0, 0, 10), Ip(255, 0, 0, 0), 3};
const InterfaceAddress kGone{Ip(3, 0, 0, 10), Ip(255, 0, 0, 0), 0};  // the system no longer knows it

// Every system call answers from the script and leaves a line in the log,
// which outlives the control.
class ScriptedSocket : public DatagramSocketCore {
 public:
  using DatagramSocketCore::Datagram;
  using DatagramSocketCore::Deliver;
  using DatagramSocketCore::Depth;
  using DatagramSocketCore::MayDeliver;

  explicit ScriptedSocket(Log& log) : log_(log) {}
  ~ScriptedSocket() override { MarkDestroyed(); }

  bool open = false;
  int openError = kSockOk;
  int sendError = kSockOk;
  std::map<unsigned, int> throughErrors;  // by interface index
  std::vector<InterfaceAddress> up{kLoopback, kOffice, kLighting, kGone};
  std::optional<IPv4> routed;

 protected:
  bool IsOpen() const override { return open; }
  int OpenSocket(int port) override {
    log_.push_back("open " + std::to_string(port));
    if (openError != kSockOk) return openError;
    open = true;
    return kSockOk;
  }
  void CloseSocket() override {
    log_.push_back("close");
    open = false;
  }
  int SystemSendTo(IPv4 address, int port, std::span<const std::uint8_t>) override {
    log_.push_back("send " + DottedIPv4(address) + ":" + std::to_string(port));
    return sendError;
  }
  int SendThrough(unsigned interfaceIndex, IPv4, int, std::span<const std::uint8_t>) override {
    log_.push_back("through " + std::to_string(interfaceIndex));
    return throughErrors[interfaceIndex];
  }
  void WatchWritable() override { log_.push_back("watch writable"); }
  std::vector<InterfaceAddress> UpInterfaces() override {
    log_.push_back("interfaces");
    return up;
  }
  std::optional<IPv4> RoutedSource(IPv4) override { return routed; }
  void PauseReading() override { log_.push_back("pause"); }
  void ResumeReading() override { log_.push_back("resume"); }

 private:
  Log& log_;
};

ScriptedSocket::Datagram Received(char tag, IPv4 sender) {
  ScriptedSocket::Datagram datagram;
  datagram.bytes[0] = static_cast<std::uint8_t>(tag);
  datagram.length = 530;  // the rest is whatever the slot held
  datagram.sender = sender;
  return datagram;
}

TEST(ChooseLightingInterfaceTest, PicksTheInterfaceArtNetBelongsOn) {
  const InterfaceAddress tunnel{Ip(10, 8, 0, 2), 0, 4};  // point-to-point: no network of its own
  const InterfaceAddress secondLighting{Ip(2, 0, 0, 11), Ip(255, 0, 0, 0), 5};
  const std::vector<InterfaceAddress> all{kLoopback, kOffice, kLighting};
  const std::vector<InterfaceAddress> tunnelFirst{tunnel, kLighting};
  const std::vector<InterfaceAddress> twoLighting{kOffice, secondLighting, kLighting};
  struct Case {
    const char* name;
    std::vector<InterfaceAddress> up;
    std::optional<IPv4> destination;
    std::optional<IPv4> routed;
    std::optional<IPv4> chosen;
  };
  const Case cases[] = {
      {"destination's network beats the route", all, Ip(2, 255, 255, 255), kOffice.address, kLighting.address},
      {"limited broadcast takes the routed source", all, kLimitedBroadcast, kLighting.address, kLighting.address},
      {"routed unicast takes the routed source", all, Ip(203, 0, 113, 7), kLighting.address, kLighting.address},
      {"no route: first that is not loopback", all, kLimitedBroadcast, std::nullopt, kOffice.address},
      {"routed source no interface holds", all, kLimitedBroadcast, Ip(10, 9, 9, 9), kOffice.address},
      {"loopback destination stays on loopback", all, Ip(127, 255, 255, 255), kOffice.address, kLoopback.address},
      {"only loopback up", {kLoopback}, kLimitedBroadcast, std::nullopt, kLoopback.address},
      {"no destination asks neither network nor route", all, std::nullopt, kLighting.address, kOffice.address},
      {"an interface without a mask holds no network", tunnelFirst, Ip(2, 0, 0, 1), std::nullopt, kLighting.address},
      {"two on the lighting network: the first listed", twoLighting, Ip(2, 255, 255, 255), std::nullopt,
       secondLighting.address},
      {"nothing up", {}, kLimitedBroadcast, kLighting.address, std::nullopt},
  };
  for (const Case& c : cases) {
    const auto chosen = ChooseLightingInterface(c.up, c.destination, [&](IPv4) { return c.routed; });
    EXPECT_EQ(chosen ? std::optional(chosen->address) : std::nullopt, c.chosen) << c.name;
  }
}

std::string Joined(const Log& log) {
  std::string calls;
  for (const std::string& call : log) calls += (calls.empty() ? "" : "; ") + call;
  return calls;
}

// Each case's log is the system calls in order, joined by "; ".
TEST(DatagramSocketCoreTest, SendToSendsAndFallsBackThroughTheLightingInterface) {
  const int unreachable = kSockErrNetUnreachable;
  const int full = kSockErrWouldBlock;
  const IPv4 unicast = Ip(2, 0, 0, 7);
  struct Case {
    const char* name;
    IPv4 destination;
    bool open;
    int sendError;
    IPv4 routed;        // 0: no route
    int lightingError;  // of sends through the lighting interface
    int result;
    const char* log;
  };
  const Case cases[] = {
      {"unicast goes straight out", unicast, true, 0, 0, 0, kSockOk, "send 2.0.0.7:6454"},
      {"routeless limited broadcast leaves through the routed source's interface", kLimitedBroadcast, true, unreachable,
       kLighting.address, 0, kSockOk, "send 255.255.255.255:6454; interfaces; through 3"},
      {"no route at all: the first interface that is not loopback", kLimitedBroadcast, true, unreachable, 0, 0, kSockOk,
       "send 255.255.255.255:6454; interfaces; through 2"},
      {"routeless unicast fails as it is", unicast, true, unreachable, 0, 0, unreachable, "send 2.0.0.7:6454"},
      {"an interface the system no longer knows keeps the error", kLimitedBroadcast, true, unreachable, kGone.address,
       0, unreachable, "send 255.255.255.255:6454; interfaces"},
      {"a full buffer watches for writable", unicast, true, full, 0, 0, full, "send 2.0.0.7:6454; watch writable"},
      {"a full buffer on the lighting interface too", kLimitedBroadcast, true, unreachable, 0, full, full,
       "send 255.255.255.255:6454; interfaces; through 2; watch writable"},
      {"a closed socket sends nothing", unicast, false, 0, 0, 0, kSockErrWrongState, ""},
  };
  for (const Case& c : cases) {
    Log log;
    ScriptedSocket s(log);
    s.open = c.open;
    s.sendError = c.sendError;
    if (c.routed != 0) s.routed = c.routed;
    s.throughErrors = {{kOffice.index, c.lightingError}, {kLighting.index, c.lightingError}};
    const std::uint8_t packet[] = {1, 2, 3};
    EXPECT_EQ(s.SendTo(c.destination, 6454, packet), c.result) << c.name;
    EXPECT_EQ(Joined(log), c.log) << c.name;
  }
}

TEST(DatagramSocketCoreTest, OpenRefusesAnOpenSocketAPortOutOfRangeAndPassesTheSystemsError) {
  Log log;
  ScriptedSocket s(log);
  EXPECT_EQ(s.Open(65536), kSockErrInvalid);
  EXPECT_EQ(s.Open(-1), kSockErrInvalid);
  s.openError = kSockErrAddressInUse;
  EXPECT_EQ(s.Open(6454), kSockErrAddressInUse);
  s.openError = kSockOk;
  EXPECT_EQ(s.Open(6454), kSockOk);
  EXPECT_EQ(s.Open(0), kSockErrWrongState);
  EXPECT_EQ(Joined(log), "open 6454; open 6454");
}

// The interface a routeless limited broadcast left through is tried first
// next time, looked for again when it fails, and forgotten at a re-open.
TEST(DatagramSocketCoreTest, LightingInterfaceIsRememberedUntilItFailsOrTheSocketReopens) {
  Log log;
  ScriptedSocket s(log);
  s.sendError = kSockErrNetUnreachable;
  s.routed = kLighting.address;
  ASSERT_EQ(s.Open(0), kSockOk);
  const std::uint8_t packet[] = {1};
  const auto send = [&] {
    log.clear();
    EXPECT_EQ(s.SendTo(kLimitedBroadcast, 6454, packet), kSockOk);
    return log;
  };
  EXPECT_EQ(send(), (Log{"send 255.255.255.255:6454", "interfaces", "through 3"}));
  EXPECT_EQ(send(), (Log{"send 255.255.255.255:6454", "through 3"}));

  s.throughErrors[3] = kSockErrNetUnreachable;
  s.routed = kOffice.address;
  EXPECT_EQ(send(), (Log{"send 255.255.255.255:6454", "through 3", "interfaces", "through 2"}));
  EXPECT_EQ(send(), (Log{"send 255.255.255.255:6454", "through 2"}));

  s.Close();
  ASSERT_EQ(s.Open(0), kSockOk);
  s.routed = kLighting.address;
  s.throughErrors.clear();
  EXPECT_EQ(send(), (Log{"send 255.255.255.255:6454", "interfaces", "through 3"}));
}

// Each handler's level wakes the reader once, which nests one level deeper
// until the bound; the deepest runs `deepest`. (Below the bound, and a
// socket destroyed inside a handler: the platform contract suites.) Every
// level reads (the first byte of) its own datagram and its sender before and
// after the levels it woke.
TEST(DatagramSocketCoreTest, NestedDeliveryKeepsEachLevelsDatagramAndPausesAtTheBound) {
  struct Case {
    const char* name;
    Log deepest;
    Log log;
  };
  const Case cases[] = {
      {"wake-ups at the bound pause once, until the deepest returns",
       {"wake", "wake"},
       {"1A@10.0.0.1", "2B@10.0.0.2", "3C@10.0.0.3", "4D@10.0.0.4", "pause", "refused", "refused", "4D@10.0.0.4",
        "resume", "3C@10.0.0.3", "2B@10.0.0.2", "1A@10.0.0.1"}},
      {"a socket closed at the bound is not resumed",
       {"wake", "close"},
       {"1A@10.0.0.1", "2B@10.0.0.2", "3C@10.0.0.3", "4D@10.0.0.4", "pause", "refused", "close", "4D@10.0.0.4",
        "3C@10.0.0.3", "2B@10.0.0.2", "1A@10.0.0.1"}},
      {"a socket re-opened at the bound is paused too",
       {"wake", "close", "open", "wake"},
       {"1A@10.0.0.1", "2B@10.0.0.2", "3C@10.0.0.3", "4D@10.0.0.4", "pause", "refused", "close", "open 6454", "pause",
        "refused", "4D@10.0.0.4", "resume", "3C@10.0.0.3", "2B@10.0.0.2", "1A@10.0.0.1"}},
  };
  for (const Case& c : cases) {
    Log log;
    ScriptedSocket s(log);
    s.Open(6454);
    log.clear();
    std::vector<ScriptedSocket::Datagram> datagrams;
    for (unsigned i = 0; i <= kMaxDeliveryDepth; ++i) datagrams.push_back(Received(char('A' + i), Ip(10, 0, 0, 1 + i)));
    s.SetReceiveHandler([&](std::span<const std::uint8_t> datagram, IPv4 sender) {
      const int level = s.Depth();
      const auto read = [&] {
        EXPECT_EQ(datagram.size(), 530u);
        log.push_back(std::to_string(level) + char(datagram[0]) + "@" + DottedIPv4(sender));
      };
      read();
      const Log actions = level < kMaxDeliveryDepth ? Log{"wake"} : c.deepest;
      for (const std::string& action : actions) {
        if (action == "close") s.Close();
        if (action == "open") s.Open(6454);
        if (action != "wake") continue;
        if (!s.MayDeliver()) {
          log.push_back("refused");
        } else {
          EXPECT_TRUE(s.Deliver(datagrams[level]));
        }
      }
      read();
    });
    EXPECT_TRUE(s.Deliver(datagrams[0])) << c.name;
    EXPECT_EQ(log, c.log) << c.name;
  }
}

}  // namespace
}  // namespace artnet
