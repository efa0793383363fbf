// artnet-peer: a small Art-Net peer for demos and interoperability tests.
// Listens and decodes, sends one ArtPoll or ArtDmx, or acts as a node that
// answers polls. Refuses to touch a real network: it runs only inside a
// private test namespace, or with --allow-loopback-only towards 127.0.0.0/8.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "flood.h"
#include "peer_packets.h"

namespace {

using namespace artnetpeer;
using Clock = std::chrono::steady_clock;

constexpr int kExitTimeout = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;
constexpr int kExitSystem = 4;

constexpr const char* kUsage =
    "usage: artnet-peer COMMAND [OPTIONS]\n"
    "  listen [--count N] [--timeout-ms T] [--only poll|pollreply|dmx] [--timestamps]\n"
    "      print each datagram decoded; exit 0 after N packets, 1 on timeout before N;\n"
    "      --timestamps adds its arrival, in seconds since listening began\n"
    "  poll --to IP [--talk-to-me X] [--priority X] [--listen-ms T]\n"
    "      send one ArtPoll; with --listen-ms print what comes back (exit 1 if no ArtPollReply)\n"
    "  dmx --to IP --universe U [--subnet S] [--net N] [--length L] [--sequence Q] V1 V2 ...\n"
    "      send one ArtDmx carrying the values (Length field defaults to their count)\n"
    "  node --short NAME [--long NAME] [--report TEXT] [--ip A.B.C.D] [--netsw X] [--subsw Y]\n"
    "       [--ports N] [--port-types a,b,c,d] [--swin a,b,c,d] [--swout a,b,c,d] [--style X]\n"
    "       [--timeout-ms T]\n"
    "      answer every ArtPoll with an ArtPollReply to its sender until the timeout\n"
    "  flood --to IP --kind random|pollreply|dmx|truncated --count N [--rate R] [--universe U] [--from IP]\n"
    "        [--seed S]\n"
    "      send N datagrams, R a second (default 0: as fast as the socket takes them);\n"
    "      print how long it took\n"
    "common: --port P (default 6454), --allow-loopback-only\n"
    "Runs only with ARTNET_TEST_NETNS=1 inside a private network namespace, or with\n"
    "--allow-loopback-only and destinations in 127.0.0.0/8.\n";

[[noreturn]] void Fail(int code, const std::string& message) {
  std::fprintf(stderr, "artnet-peer: %s\n", message.c_str());
  std::exit(code);
}

struct Options {
  std::string command;
  std::map<std::string, std::string> named;
  std::vector<std::string> positional;
  bool loopbackOnly = false;
  bool timestamps = false;

  bool Has(const std::string& name) const { return named.count(name) != 0; }
  std::string Text(const std::string& name, const std::string& fallback = "") const {
    const auto it = named.find(name);
    return it == named.end() ? fallback : it->second;
  }
};

long long ParseNumber(const std::string& text, long long min, long long max, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 0);  // decimal or 0x...
  if (text.empty() || errno != 0 || *end != '\0' || value < min || value > max) {
    Fail(kExitUsage,
         what + " '" + text + "' must be a number from " + std::to_string(min) + " to " + std::to_string(max));
  }
  return value;
}

long long Number(const Options& o, const std::string& name, long long fallback, long long min, long long max) {
  return o.Has(name) ? ParseNumber(o.Text(name), min, max, "--" + name) : fallback;
}

std::array<std::uint8_t, 4> ByteList(const Options& o, const std::string& name, std::array<std::uint8_t, 4> fallback) {
  if (!o.Has(name)) return fallback;
  std::array<std::uint8_t, 4> values{};
  std::stringstream list(o.Text(name));
  std::size_t i = 0;
  for (std::string item; std::getline(list, item, ',');) {
    if (i == 4) Fail(kExitUsage, "--" + name + " takes at most four values");
    values[i++] = static_cast<std::uint8_t>(ParseNumber(item, 0, 255, "--" + name + " value"));
  }
  return values;
}

std::optional<in_addr> ParseAddress(const std::string& text) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
  return address;
}

bool IsLoopback(in_addr address) { return (ntohl(address.s_addr) >> 24) == 127; }

Options ParseOptions(int argc, char** argv) {
  Options o;
  if (argc < 2) Fail(kExitUsage, std::string("no command\n") + kUsage);
  o.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--allow-loopback-only") {
      o.loopbackOnly = true;
    } else if (arg == "--timestamps") {
      o.timestamps = true;
    } else if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
      if (i + 1 >= argc) Fail(kExitUsage, arg + " needs a value");
      o.named[arg.substr(2)] = argv[++i];
    } else {
      o.positional.push_back(arg);
    }
  }
  return o;
}

void RejectUnknown(const Options& o, const std::set<std::string>& known) {
  for (const auto& [name, value] : o.named) {
    if (known.count(name) == 0 && name != "port") Fail(kExitUsage, "unknown option --" + name + " for " + o.command);
  }
}

// True when this process shares the network namespace of PID 1, i.e. the
// machine's own network. Unknown (no access) counts as not shared.
bool InInitialNetworkNamespace() {
  struct stat self {
  }, init{};
  if (stat("/proc/self/ns/net", &self) != 0 || stat("/proc/1/ns/net", &init) != 0) return false;
  return self.st_ino == init.st_ino && self.st_dev == init.st_dev;
}

// The network-safety gate: every destination this run may send to must be
// inside a private namespace or on loopback.
void CheckAllowed(const Options& o, const std::vector<in_addr>& destinations) {
  const char* netns = std::getenv("ARTNET_TEST_NETNS");
  if (netns != nullptr && std::string(netns) == "1") {
    if (InInitialNetworkNamespace()) {
      Fail(kExitRefused, "ARTNET_TEST_NETNS=1 is set, but this is the machine's own network namespace");
    }
    return;
  }
  if (!o.loopbackOnly) {
    Fail(kExitRefused,
         "refusing to run outside a private test namespace (set ARTNET_TEST_NETNS=1 there) "
         "or without --allow-loopback-only");
  }
  for (const in_addr& d : destinations) {
    if (!IsLoopback(d)) Fail(kExitRefused, "--allow-loopback-only: destination outside 127.0.0.0/8");
  }
}

class Socket {
 public:
  Socket() : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    if (fd_ < 0) Fail(kExitSystem, std::string("socket: ") + std::strerror(errno));
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // Report each datagram's destination, so unicast and broadcast can be told apart.
    ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
  }
  ~Socket() { ::close(fd_); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  void Bind(std::uint16_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      Fail(kExitSystem, "bind to UDP port " + std::to_string(port) + ": " + std::strerror(errno));
    }
    port_ = port;
  }

  std::uint16_t LocalPort() const { return port_; }

  void Send(in_addr to, std::uint16_t port, const Bytes& packet) {
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr = to;
    remote.sin_port = htons(port);
    if (::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&remote), sizeof remote) < 0) {
      Fail(kExitSystem, std::string("sendto: ") + std::strerror(errno));
    }
  }

  // Waits until the deadline (none: forever) for one datagram; `to` is the
  // address it was sent to (a unicast or a broadcast address).
  bool Receive(std::optional<Clock::time_point> deadline, Bytes& packet, sockaddr_in& from, in_addr& to) {
    for (;;) {
      int waitMs = -1;
      if (deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
        if (left <= 0) return false;
        waitMs = static_cast<int>(left);
      }
      pollfd p{fd_, POLLIN, 0};
      const int ready = ::poll(&p, 1, waitMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) Fail(kExitSystem, std::string("poll: ") + std::strerror(errno));
      if (ready == 0) continue;  // the deadline check above ends the wait
      packet.resize(65536);
      iovec data{packet.data(), packet.size()};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
      msghdr message{};
      message.msg_name = &from;
      message.msg_namelen = sizeof from;
      message.msg_iov = &data;
      message.msg_iovlen = 1;
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      const ssize_t n = ::recvmsg(fd_, &message, 0);
      if (n < 0) Fail(kExitSystem, std::string("recvmsg: ") + std::strerror(errno));
      packet.resize(static_cast<std::size_t>(n));
      to = in_addr{};
      for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
          in_pktinfo info{};
          std::memcpy(&info, CMSG_DATA(c), sizeof info);
          to = info.ipi_addr;
        }
      }
      return true;
    }
  }

 private:
  int fd_;
  std::uint16_t port_ = 0;
};

std::string AddressText(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

// The decoded block, with a second line giving sender and destination with
// their ports: "  Route: 10.77.0.1:6454 -> 10.77.0.255:6454", and, when
// asked, a third with the arrival: "  Arrived: 1.234567" (seconds).
void Print(const Bytes& packet, const sockaddr_in& from, in_addr to, std::uint16_t localPort,
           std::optional<double> arrived = std::nullopt) {
  const std::vector<std::string> lines = Describe(packet, AddressText(from.sin_addr));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::printf("%s\n", lines[i].c_str());
    if (i == 0) {
      std::printf("  Route: %s:%u -> %s:%u\n", AddressText(from.sin_addr).c_str(), ntohs(from.sin_port),
                  AddressText(to).c_str(), localPort);
      if (arrived) std::printf("  Arrived: %.6f\n", *arrived);
    }
  }
  std::fflush(stdout);
}

std::optional<Clock::time_point> Deadline(const Options& o, const std::string& name, long long fallbackMs) {
  const long long ms = Number(o, name, fallbackMs, 0, 24LL * 3600 * 1000);
  if (ms <= 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(ms);
}

in_addr Destination(const Options& o) {
  if (!o.Has("to")) Fail(kExitUsage, o.command + " needs --to IP");
  const auto to = ParseAddress(o.Text("to"));
  if (!to) Fail(kExitUsage, "--to '" + o.Text("to") + "' is not a dotted IPv4 address");
  return *to;
}

std::uint16_t PortOption(const Options& o) {
  return static_cast<std::uint16_t>(Number(o, "port", kArtNetPort, 1, 65535));
}

int Listen(const Options& o) {
  RejectUnknown(o, {"count", "timeout-ms", "only"});
  CheckAllowed(o, {});
  const long long count = Number(o, "count", 0, 0, 1000000);
  const auto deadline = Deadline(o, "timeout-ms", 0);
  std::optional<PacketKind> only;
  if (o.Has("only")) {
    const std::string kind = o.Text("only");
    if (kind == "poll")
      only = PacketKind::Poll;
    else if (kind == "pollreply")
      only = PacketKind::PollReply;
    else if (kind == "dmx")
      only = PacketKind::Dmx;
    else
      Fail(kExitUsage, "--only takes poll, pollreply or dmx");
  }
  Socket socket;
  socket.Bind(PortOption(o));
  std::fprintf(stderr, "artnet-peer: listening on UDP port %u\n", PortOption(o));
  const auto started = Clock::now();
  long long received = 0;
  Bytes packet;
  sockaddr_in from{};
  in_addr sentTo{};
  while (count == 0 || received < count) {
    if (!socket.Receive(deadline, packet, from, sentTo)) {
      if (count == 0) return 0;
      std::fprintf(stderr, "artnet-peer: timeout after %lld of %lld packets\n", received, count);
      return kExitTimeout;
    }
    const double arrived = std::chrono::duration<double>(Clock::now() - started).count();
    if (only && Classify(packet) != *only) continue;
    Print(packet, from, sentTo, socket.LocalPort(), o.timestamps ? std::optional<double>(arrived) : std::nullopt);
    ++received;
  }
  return 0;
}

int SendPoll(const Options& o) {
  RejectUnknown(o, {"to", "talk-to-me", "priority", "listen-ms"});
  const in_addr to = Destination(o);
  CheckAllowed(o, {to});
  Poll poll;
  poll.talkToMe = static_cast<std::uint8_t>(Number(o, "talk-to-me", 0, 0, 255));
  poll.priority = static_cast<std::uint8_t>(Number(o, "priority", 0, 0, 255));
  const bool listen = o.Has("listen-ms");
  Socket socket;
  if (listen) socket.Bind(PortOption(o));  // replies come to port 6454
  socket.Send(to, PortOption(o), EncodePoll(poll));
  if (!listen) return 0;
  const auto deadline = Deadline(o, "listen-ms", 0);
  bool replied = false;
  Bytes packet;
  sockaddr_in from{};
  in_addr sentTo{};
  while (deadline && socket.Receive(deadline, packet, from, sentTo)) {
    Print(packet, from, sentTo, socket.LocalPort());
    replied = replied || Classify(packet) == PacketKind::PollReply;
  }
  return replied ? 0 : kExitTimeout;
}

int SendDmx(const Options& o) {
  RejectUnknown(o, {"to", "universe", "subnet", "net", "length", "sequence", "physical"});
  const in_addr to = Destination(o);
  CheckAllowed(o, {to});
  if (!o.Has("universe")) Fail(kExitUsage, "dmx needs --universe U");
  if (o.positional.empty() || o.positional.size() > kDmxMaxValues) Fail(kExitUsage, "dmx needs 1 to 512 values");
  Dmx dmx;
  for (const std::string& v : o.positional)
    dmx.data.push_back(static_cast<std::uint8_t>(ParseNumber(v, 0, 255, "value")));
  const auto universe = Number(o, "universe", 0, 0, 15);
  const auto subnet = Number(o, "subnet", 0, 0, 15);
  dmx.subUni = static_cast<std::uint8_t>(subnet << 4 | universe);
  dmx.net = static_cast<std::uint8_t>(Number(o, "net", 0, 0, 127));
  dmx.length = static_cast<std::uint16_t>(Number(o, "length", static_cast<long long>(dmx.data.size()), 0, 65535));
  dmx.sequence = static_cast<std::uint8_t>(Number(o, "sequence", 0, 0, 255));
  dmx.physical = static_cast<std::uint8_t>(Number(o, "physical", 0, 0, 255));
  Socket socket;
  socket.Send(to, PortOption(o), EncodeDmx(dmx));
  return 0;
}

// The local address used to reach `peer`: what a node puts in its reply's IP field.
in_addr LocalAddressTowards(in_addr peer, std::uint16_t port) {
  in_addr local{};
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr = peer;
  remote.sin_port = htons(port);
  sockaddr_in mine{};
  socklen_t length = sizeof mine;
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &length) == 0) {
    local = mine.sin_addr;
  }
  if (fd >= 0) ::close(fd);
  return local;
}

int Node(const Options& o) {
  RejectUnknown(o, {"short", "long", "report", "ip", "netsw", "subsw", "ports", "port-types", "swin", "swout", "style",
                    "timeout-ms"});
  CheckAllowed(o, {});
  if (!o.Has("short")) Fail(kExitUsage, "node needs --short NAME");
  PollReply reply;
  reply.shortName = o.Text("short");
  reply.longName = o.Text("long", reply.shortName);
  reply.nodeReport = o.Text("report");
  reply.netSwitch = static_cast<std::uint8_t>(Number(o, "netsw", 0, 0, 127));
  reply.subSwitch = static_cast<std::uint8_t>(Number(o, "subsw", 0, 0, 15));
  reply.numPorts = static_cast<std::uint16_t>(Number(o, "ports", 1, 0, 4));
  reply.portTypes = ByteList(o, "port-types", {0x80, 0, 0, 0});
  reply.swIn = ByteList(o, "swin", {});
  reply.swOut = ByteList(o, "swout", {});
  reply.style = static_cast<std::uint8_t>(Number(o, "style", 0, 0, 255));
  std::optional<in_addr> fixedIp;
  if (o.Has("ip")) {
    fixedIp = ParseAddress(o.Text("ip"));
    if (!fixedIp) Fail(kExitUsage, "--ip '" + o.Text("ip") + "' is not a dotted IPv4 address");
  }
  const std::uint16_t port = PortOption(o);
  const auto deadline = Deadline(o, "timeout-ms", 10000);
  Socket socket;
  socket.Bind(port);
  std::fprintf(stderr, "artnet-peer: node \"%s\" on UDP port %u\n", reply.shortName.c_str(), port);
  Bytes packet;
  sockaddr_in from{};
  in_addr sentTo{};
  while (socket.Receive(deadline, packet, from, sentTo)) {
    if (Classify(packet) != PacketKind::Poll) continue;
    Print(packet, from, sentTo, socket.LocalPort());
    if (o.loopbackOnly && !IsLoopback(from.sin_addr)) {
      std::fprintf(stderr, "artnet-peer: not answering %s (loopback only)\n", AddressText(from.sin_addr).c_str());
      continue;
    }
    const in_addr ip = fixedIp ? *fixedIp : LocalAddressTowards(from.sin_addr, port);
    std::memcpy(reply.ip.data(), &ip.s_addr, 4);  // network order: first octet first
    socket.Send(from.sin_addr, port, EncodePollReply(reply));
    std::printf("replied to %s\n", AddressText(from.sin_addr).c_str());
    std::fflush(stdout);
  }
  return 0;
}

int Flood(const Options& o) {
  RejectUnknown(o, {"to", "kind", "count", "rate", "universe", "from", "seed"});
  const in_addr to = Destination(o);
  CheckAllowed(o, {to});
  const auto kind = ParseFloodKind(o.Text("kind"));
  if (!kind) Fail(kExitUsage, "flood needs --kind random, pollreply, dmx or truncated");
  const auto count = static_cast<std::uint64_t>(Number(o, "count", 0, 1, 1000000000));
  const auto rate = static_cast<double>(Number(o, "rate", 0, 0, 100000000));
  const auto universe = static_cast<std::uint8_t>(Number(o, "universe", 1, 0, 255));
  FloodMaker maker(*kind, universe, static_cast<std::uint64_t>(Number(o, "seed", 1, 0, 1LL << 62)));

  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail(kExitSystem, std::string("socket: ") + std::strerror(errno));
  if (o.Has("from")) {
    // A source address of its own, so the flood's polls are not charged to another tool.
    const auto from = ParseAddress(o.Text("from"));
    if (!from) Fail(kExitUsage, "--from '" + o.Text("from") + "' is not a dotted IPv4 address");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = *from;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
      Fail(kExitSystem, std::string("bind: ") + std::strerror(errno));
  }
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr = to;
  remote.sin_port = htons(PortOption(o));
  const auto start = Clock::now();
  std::uint64_t retries = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    // Paced in steps of 256: a sleep per datagram would cost more than the send.
    if (rate > 0 && i % 256 == 0) {
      std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(static_cast<double>(i) / rate)));
    }
    const Bytes& packet = maker.Make(i);
    while (::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&remote), sizeof remote) < 0) {
      if (errno != ENOBUFS && errno != EAGAIN && errno != EINTR && errno != ECONNREFUSED) {
        Fail(kExitSystem, std::string("sendto: ") + std::strerror(errno));
      }
      ++retries;  // a full queue on the way: try again
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(fd);
  std::printf("flood: %llu %s datagrams to %s in %.3f s (%.0f per second, %llu retries)\n",
              static_cast<unsigned long long>(count), o.Text("kind").c_str(), AddressText(to).c_str(), seconds,
              static_cast<double>(count) / seconds, static_cast<unsigned long long>(retries));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const Options options = ParseOptions(argc, argv);
  if (options.command == "listen") return Listen(options);
  if (options.command == "poll") return SendPoll(options);
  if (options.command == "dmx") return SendDmx(options);
  if (options.command == "node") return Node(options);
  if (options.command == "flood") return Flood(options);
  Fail(kExitUsage, "unknown command '" + options.command + "'\n" + kUsage);
}
