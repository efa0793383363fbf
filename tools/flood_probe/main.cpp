// flood-probe: floods the plug-in, run by lumenhost, and checks that it
// keeps working meanwhile. It starts lumenhost (its own network namespace),
// sends the flood and listens from the peer namespace, and while the flood
// runs it sets channel 1 through lumenhost's standard input and times the
// value's arrival on the wire, polls the plug-in, and reads lumenhost's
// memory before and after. Prints the figures; exits 1 when the host
// crashed, a poll or a set value went unanswered, memory grew or a time
// exceeded its (generous) bound. Runs only inside a private test namespace.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "flood.h"
#include "peer_packets.h"

namespace {

using namespace artnetpeer;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "usage: flood-probe --lumenhost PATH --plugin PATH --peer-netns PATH --to IP --flood-from IP\n"
    "                   --kind random|pollreply|dmx --count N [--rate PER_SECOND] [--seed S]\n"
    "                   [--probe-ms 60] [--max-p99-ms 50] [--max-flush-ms 100] [--max-rss-growth-kb 4096]\n"
    "(a time bound of 0: that time is reported, not checked)\n"
    "Runs only with ARTNET_TEST_NETNS=1 inside a private network namespace.\n";

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "flood-probe: %s\n", message.c_str());
  std::exit(2);
}

// Unknown (no access to PID 1's namespace) counts as not shared, as in
// artnet-peer; ARTNET_TEST_NETNS=1 must hold as well.
bool SameNamespace(const char* a, const char* b) {
  struct stat sa {
  }, sb{};
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
  return sa.st_ino == sb.st_ino && sa.st_dev == sb.st_dev;
}

std::int64_t RealtimeNs() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

long RssKb(pid_t pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
  }
  return -1;
}

in_addr Address(const std::string& text) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) Fail("'" + text + "' is not a dotted IPv4 address");
  return a;
}

sockaddr_in Endpoint(in_addr address, std::uint16_t port) {
  sockaddr_in s{};
  s.sin_family = AF_INET;
  s.sin_addr = address;
  s.sin_port = htons(port);
  return s;
}

// What the listener in the peer namespace has seen.
struct Wire {
  std::mutex lock;
  std::condition_variable changed;
  int channel1 = -1;            // channel 1 of the latest ArtDmx on universe 0
  std::int64_t channel1At = 0;  // kernel receive time of that datagram
  long replies = 0;             // ArtPollReply from the plug-in
  long dmxFrames = 0;
};

void Listen(int fd, in_addr plugin, in_addr self, Wire& wire, const std::atomic<bool>& stop) {
  std::vector<std::uint8_t> buffer(2048);
  while (!stop) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) != 1) continue;
    sockaddr_in from{};
    iovec data{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &message, MSG_DONTWAIT);
    if (n < 0) continue;
    std::int64_t at = RealtimeNs();
    in_addr sentTo{};
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
        in_pktinfo info{};
        std::memcpy(&info, CMSG_DATA(c), sizeof info);
        sentTo = info.ipi_addr;
      }
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        at = static_cast<std::int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
      }
    }
    if (from.sin_addr.s_addr != plugin.s_addr) continue;
    const Bytes packet(buffer.begin(), buffer.begin() + n);
    const PacketKind kind = Classify(packet);
    std::lock_guard guard(wire.lock);
    if (kind == PacketKind::PollReply) {
      // Only answers to the probe's own polls: the random flood polls too.
      if (sentTo.s_addr == self.s_addr) ++wire.replies;
    } else if (kind == PacketKind::Dmx) {
      const Dmx dmx = DecodeDmx(packet);
      if ((dmx.subUni & 0x0F) != 0 || dmx.data.empty()) continue;
      ++wire.dmxFrames;
      if (dmx.data[0] != wire.channel1) {
        wire.channel1 = dmx.data[0];
        wire.channel1At = at;
      }
    }
    wire.changed.notify_all();
  }
}

// lumenhost's standard output: counted, and kept apart from the DMX input lines.
struct HostOutput {
  std::mutex lock;
  std::vector<std::string> lines;  // everything but LMST_DMXIn_SetChannel
  std::atomic<long> dmxInLines{0};
  std::atomic<bool> enabled{false};
  std::atomic<bool> closed{false};
};

void ReadHost(int fd, HostOutput& out) {
  static constexpr char kDmxIn[] = "LMST_DMXIn_SetChannel ";
  std::string pending;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer.data(), static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t nl; (nl = pending.find('\n', start)) != std::string::npos; start = nl + 1) {
      if (pending.compare(start, sizeof kDmxIn - 1, kDmxIn) == 0) {
        ++out.dmxInLines;
        continue;
      }
      std::string line = pending.substr(start, nl - start);
      if (line == "Enable -> true") out.enabled = true;
      std::lock_guard guard(out.lock);
      out.lines.push_back(std::move(line));
    }
    pending.erase(0, start);
    // Read in large gulps: woken for every line, this reader would compete
    // with lumenhost for the CPU more than any real log reader does.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  out.closed = true;
}

struct Options {
  std::map<std::string, std::string> named;
  std::string Get(const std::string& name, const std::string& fallback = "") const {
    const auto it = named.find(name);
    if (it != named.end()) return it->second;
    if (fallback.empty()) Fail("--" + name + " is missing\n" + kUsage);
    return fallback;
  }
};

// The drops counter of the UDP socket bound to `port` in this namespace.
long SocketDrops(std::uint16_t port) {
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // the heading
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local;
    fields >> slot >> local;
    if (local.size() < 5 || local.compare(local.size() - 5, 5, wanted) != 0) continue;
    std::string field, last;
    while (fields >> field) last = field;
    return std::strtol(last.c_str(), nullptr, 10);
  }
  return -1;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg.rfind("--", 0) != 0 || i + 1 >= argc) Fail("unexpected argument '" + arg + "'\n" + kUsage);
    o.named[arg.substr(2)] = argv[++i];
  }
  // The network-safety gate, as artnet-peer's: never the machine's own network.
  const char* netns = std::getenv("ARTNET_TEST_NETNS");
  if (netns == nullptr || std::string(netns) != "1" || SameNamespace("/proc/self/ns/net", "/proc/1/ns/net")) {
    std::fprintf(stderr, "flood-probe: refusing to run outside a private test namespace\n");
    return 3;
  }
  const std::string peerNetns = o.Get("peer-netns");
  struct stat peerStat {};
  if (stat(peerNetns.c_str(), &peerStat) != 0 || SameNamespace(peerNetns.c_str(), "/proc/1/ns/net") ||
      SameNamespace(peerNetns.c_str(), "/proc/self/ns/net")) {
    std::fprintf(stderr, "flood-probe: %s is not a separate private network namespace\n", peerNetns.c_str());
    return 3;
  }
  const auto kind = ParseFloodKind(o.Get("kind"));
  if (!kind) Fail("--kind takes random, pollreply or dmx");
  const long long count = std::stoll(o.Get("count"));
  const in_addr plugin = Address(o.Get("to"));
  const in_addr floodFrom = Address(o.Get("flood-from"));
  const in_addr probeFrom = Address(o.Get("probe-from", "10.77.0.2"));
  const int probeMs = std::stoi(o.Get("probe-ms", "60"));
  const double maxP99Ms = std::stod(o.Get("max-p99-ms", "50"));
  const double maxFlushMs = std::stod(o.Get("max-flush-ms", "100"));
  const long maxGrowthKb = std::stol(o.Get("max-rss-growth-kb", "4096"));
  FloodMaker maker(*kind, 1, std::stoull(o.Get("seed", "1")));

  // The peer's sockets are made in its namespace and used from here.
  const int home = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  const int peer = ::open(peerNetns.c_str(), O_RDONLY | O_CLOEXEC);
  if (home < 0 || peer < 0 || ::setns(peer, CLONE_NEWNET) != 0) Fail("cannot enter " + peerNetns);
  const int listener = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int flooder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  ::setsockopt(listener, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
  const int big = 4 << 20;
  ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
  // Bound to any address: the plug-in's ArtDmx arrive as broadcasts.
  const sockaddr_in listenAt = Endpoint(in_addr{htonl(INADDR_ANY)}, kArtNetPort);
  const sockaddr_in floodAt = Endpoint(floodFrom, 0);
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&listenAt), sizeof listenAt) != 0 ||
      ::bind(flooder, reinterpret_cast<const sockaddr*>(&floodAt), sizeof floodAt) != 0) {
    Fail(std::string("bind in the peer namespace: ") + std::strerror(errno));
  }
  if (::setns(home, CLONE_NEWNET) != 0) Fail("cannot return to the test namespace");
  ::close(peer);
  ::close(home);

  // lumenhost, its standard output into a pipe as a host's log would be.
  int toHost[2], fromHost[2];
  if (::pipe2(toHost, O_CLOEXEC) != 0 || ::pipe2(fromHost, O_CLOEXEC) != 0) Fail("pipe");
  ::fcntl(fromHost[0], F_SETPIPE_SZ, 1 << 20);
  const std::string lumenhost = o.Get("lumenhost");
  const std::string pluginPath = o.Get("plugin");
  const pid_t host = ::fork();
  if (host == 0) {
    ::dup2(toHost[0], STDIN_FILENO);
    ::dup2(fromHost[1], STDOUT_FILENO);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::execl(lumenhost.c_str(), lumenhost.c_str(), "--plugin", pluginPath.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(toHost[0]);
  ::close(fromHost[1]);
  ::signal(SIGPIPE, SIG_IGN);
  HostOutput output;
  std::thread reader(ReadHost, fromHost[0], std::ref(output));
  Wire wire;
  std::atomic<bool> stopListening{false};
  std::thread listening(Listen, listener, plugin, probeFrom, std::ref(wire), std::cref(stopListening));

  auto Command = [&](const std::string& text) {
    return ::write(toHost[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
  };
  int failures = 0;
  auto Check = [&](bool ok, const std::string& what) {
    if (!ok) {
      std::printf("FAIL: %s\n", what.c_str());
      ++failures;
    }
  };

  Command("init\nenable\n");
  for (int i = 0; i < 100 && !output.enabled; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (!output.enabled) {
    std::printf("FAIL: lumenhost did not enable the plug-in\n");
    ::kill(host, SIGKILL);
    ::waitpid(host, nullptr, 0);
    stopListening = true;
    listening.join();
    reader.join();
    return 1;
  }

  const sockaddr_in target = Endpoint(plugin, kArtNetPort);
  std::atomic<long long> sent{0};
  const double rate = std::stod(o.Get("rate", "0"));
  auto SendFlood = [&](long long from, long long to) {
    const auto start = SteadyClock::now();
    for (long long i = from; i < to; ++i) {
      if (rate > 0 && (i - from) % 256 == 0) {
        std::this_thread::sleep_until(start + std::chrono::duration_cast<SteadyClock::duration>(
                                                  std::chrono::duration<double>(static_cast<double>(i - from) / rate)));
      }
      const Bytes& packet = maker.Make(static_cast<std::uint64_t>(i));
      while (::sendto(flooder, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&target),
                      sizeof target) < 0) {
        if (errno != ENOBUFS && errno != EAGAIN && errno != EINTR && errno != ECONNREFUSED) return;
      }
      ++sent;
    }
  };
  // Warm-up: the same kind of traffic, so slots, tables and the host's
  // buffers have their steady size before memory is read.
  const long long warmUp = std::min<long long>(20000, count);
  SendFlood(0, warmUp);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const long rssBefore = RssKb(host, "VmRSS:");

  // Sets of channel 1: alone (leaves at once), or as a burst of two whose
  // second leaves with the flush. A poll every second, answered to the
  // probe's address (the broadcast answer is the unit tests' business).
  std::vector<double> immediateMs, deferredMs;
  int lostSets = 0;
  long polls = 0;
  long repliesBefore;
  {
    std::lock_guard guard(wire.lock);
    repliesBefore = wire.replies;
  }
  int value = 0;
  auto NextValue = [&] {
    value = value % 250 + 1;
    return value;
  };
  auto WaitForValue = [&](int v, std::int64_t since, std::vector<double>& into) {
    std::unique_lock guard(wire.lock);
    if (!wire.changed.wait_for(guard, std::chrono::seconds(2), [&] { return wire.channel1 == v; })) {
      ++lostSets;
      return;
    }
    into.push_back(static_cast<double>(wire.channel1At - since) / 1e6);
  };

  const auto floodStart = SteadyClock::now();
  std::atomic<bool> flooding{true};
  std::thread floodThread([&] {
    SendFlood(warmUp, count);
    flooding = false;
  });
  auto lastPoll = SteadyClock::now() - std::chrono::seconds(1);
  int probe = 0;
  while (flooding) {
    if (SteadyClock::now() - lastPoll >= std::chrono::seconds(1)) {
      lastPoll = SteadyClock::now();
      const Bytes bytes = EncodePoll(Poll{0x02, 0});
      ::sendto(listener, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
      ++polls;
    }
    if (++probe % 5 == 0) {
      const int first = NextValue();
      const int second = NextValue();
      const std::int64_t at = RealtimeNs();
      Command("set 1 " + std::to_string(first) + "\nset 1 " + std::to_string(second) + "\n");
      WaitForValue(second, at, deferredMs);
    } else {
      const int v = NextValue();
      const std::int64_t at = RealtimeNs();
      Command("set 1 " + std::to_string(v) + "\n");
      WaitForValue(v, at, immediateMs);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(probeMs));
  }
  floodThread.join();
  const double floodSeconds = std::chrono::duration<double>(SteadyClock::now() - floodStart).count();

  // Until the host has worked off what the kernel queued.
  for (long last = -1; last != output.dmxInLines;) {
    last = output.dmxInLines;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  const long rssAfter = RssKb(host, "VmRSS:");
  const long rssPeak = RssKb(host, "VmHWM:");
  long replies;
  long dmxFrames;
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::lock_guard guard(wire.lock);
    replies = wire.replies - repliesBefore;
    dmxFrames = wire.dmxFrames;
  }
  // Polls after the flood, a second apart: each must be answered (the
  // limiter has not shut the probe out, and nothing is stuck).
  int afterPolls = 0;
  int afterAnswered = 0;
  for (; afterPolls < 3; ++afterPolls) {
    long before;
    {
      std::lock_guard guard(wire.lock);
      before = wire.replies;
    }
    const Bytes bytes = EncodePoll(Poll{0x02, 0});
    ::sendto(listener, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    std::unique_lock guard(wire.lock);
    if (wire.changed.wait_for(guard, std::chrono::seconds(1), [&] { return wire.replies > before; })) ++afterAnswered;
    guard.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  const long kernelDrops = SocketDrops(kArtNetPort);

  Command("disable\nterm\nquit\n");
  ::close(toHost[1]);
  int status = 0;
  bool exited = false;
  for (int i = 0; i < 100 && !exited; ++i) {
    exited = ::waitpid(host, &status, WNOHANG) == host;
    if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!exited) {
    ::kill(host, SIGKILL);
    ::waitpid(host, &status, 0);
  }
  stopListening = true;
  listening.join();
  reader.join();

  std::printf("flood: %lld %s datagrams to %s:%u in %.2f s (%.0f per second)\n", static_cast<long long>(sent),
              o.Get("kind").c_str(), inet_ntoa(plugin), kArtNetPort, floodSeconds,
              static_cast<double>(sent - warmUp) / floodSeconds);
  std::printf("host: %ld LMST_DMXIn_SetChannel lines; exit %s %d\n", output.dmxInLines.load(),
              WIFSIGNALED(status) ? "signal" : "code", WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
  std::printf("set -> wire, immediate: %zu sets, p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", immediateMs.size(),
              Percentile(immediateMs, 0.5), Percentile(immediateMs, 0.99), Percentile(immediateMs, 1.0));
  std::printf("set -> wire, second of a burst (flush): %zu sets, p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
              deferredMs.size(), Percentile(deferredMs, 0.5), Percentile(deferredMs, 0.99),
              Percentile(deferredMs, 1.0));
  std::printf("sets never seen on the wire: %d; ArtDmx frames from the plug-in: %ld\n", lostSets, dmxFrames);
  std::printf("polls during the flood: %ld sent, %ld answered; after it: %d sent, %d answered\n", polls, replies,
              afterPolls, afterAnswered);
  std::printf("datagrams the kernel dropped at the plug-in's full receive queue: %ld\n", kernelDrops);
  std::printf("memory (VmRSS): %ld kB before the flood, %ld kB after, peak %ld kB\n", rssBefore, rssAfter, rssPeak);

  Check(exited && WIFEXITED(status) && WEXITSTATUS(status) == 0, "lumenhost did not exit cleanly");
  Check(lostSets == 0, "a set value never reached the wire");
  Check(!immediateMs.empty(), "no set reached the wire");
  // A bound of 0: the times are reported only, as a test on a busy machine needs.
  if (maxP99Ms > 0) Check(Percentile(immediateMs, 0.99) <= maxP99Ms, "set -> wire p99 above the bound");
  if (maxFlushMs > 0) Check(deferredMs.empty() || Percentile(deferredMs, 1.0) <= maxFlushMs, "the flush came late");
  // Under a flood beyond what the host can take, the kernel drops datagrams
  // at the full queue, polls among them; those that get in are answered.
  Check(replies >= 1, "no poll answered during the flood");
  Check(afterAnswered == afterPolls, "a poll after the flood went unanswered");
  Check(rssBefore > 0 && rssAfter - rssBefore <= maxGrowthKb, "memory grew");
  {
    std::lock_guard guard(output.lock);
    for (const std::string& line : output.lines) {
      if (line.find("error") != std::string::npos) {
        std::printf("FAIL: lumenhost reported: %s\n", line.c_str());
        ++failures;
      }
    }
  }
  std::printf("%s\n", failures == 0 ? "flood passed" : "flood FAILED");
  return failures == 0 ? 0 : 1;
}
