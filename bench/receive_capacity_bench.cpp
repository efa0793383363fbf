// Receive capacity of the real Qt datagram socket against a bare recvfrom
// loop, side by side in one run: a queue of datagrams is filled on
// loopback, then drained, once through the control's event-loop path (into
// a handler that copies each datagram out, as the engine does) and once by
// poll + recvfrom until the queue is empty. Prints the cost per datagram and
// the ratio (capacity = bare / control). Loopback only, any free port.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/qt/qt_datagram_socket.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kQueued = 128;  // fits the default receive buffer on loopback
constexpr int kRounds = 400;
constexpr std::size_t kSize = 530;  // a full ArtDmx

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

void Fill(int sender, std::uint16_t port) {
  const std::array<std::uint8_t, kSize> packet{};
  const sockaddr_in to = Loopback(port);
  for (int i = 0; i < kQueued; ++i) {
    ::sendto(sender, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);

  // The socket, with a handler that reads each datagram in place, as the engine does.
  artnet::QtDatagramSocket control;
  int delivered = 0;
  volatile std::uint8_t first = 0;
  control.SetReceiveHandler([&](std::span<const std::uint8_t> datagram, artnet::IPv4) {
    if (!datagram.empty()) first = datagram[0];
    ++delivered;
  });
  // A port the system picks for a moment, then the socket's own.
  int controlPort = 0;
  {
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at = Loopback(0);
    socklen_t length = sizeof at;
    ::bind(probe, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&at), &length);
    controlPort = ntohs(at.sin_port);
    ::close(probe);
  }
  if (control.Open(controlPort) != artnet::kSockOk) return 1;

  // The bare loop's socket.
  const int bare = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
  sockaddr_in bareAt = Loopback(0);
  socklen_t size = sizeof bareAt;
  ::bind(bare, reinterpret_cast<sockaddr*>(&bareAt), sizeof bareAt);
  ::getsockname(bare, reinterpret_cast<sockaddr*>(&bareAt), &size);

  std::vector<double> controlNs, bareNs, mmsgNs;
  std::vector<std::array<std::uint8_t, 2048>> batchBuffers(32);
  std::array<sockaddr_in, 32> batchFrom{};
  for (int round = 0; round < kRounds; ++round) {
    Fill(sender, static_cast<std::uint16_t>(controlPort));
    delivered = 0;
    auto start = Clock::now();
    while (delivered < kQueued) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    controlNs.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kQueued);

    Fill(sender, ntohs(bareAt.sin_port));
    int received = 0;
    start = Clock::now();
    while (received < kQueued) {
      pollfd p{bare, POLLIN, 0};
      ::poll(&p, 1, 1000);
      std::array<std::uint8_t, 65536> buffer;
      for (;;) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        if (::recvfrom(bare, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize) < 0) break;
        ++received;
      }
    }
    bareNs.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kQueued);

    // The kernel's batched call alone, for what batching can win at best.
    Fill(sender, ntohs(bareAt.sin_port));
    received = 0;
    start = Clock::now();
    while (received < kQueued) {
      pollfd p{bare, POLLIN, 0};
      ::poll(&p, 1, 1000);
      for (;;) {
        std::array<mmsghdr, 32> messages{};
        std::array<iovec, 32> data{};
        for (std::size_t i = 0; i < messages.size(); ++i) {
          data[i] = iovec{batchBuffers[i].data(), batchBuffers[i].size()};
          messages[i].msg_hdr.msg_name = &batchFrom[i];
          messages[i].msg_hdr.msg_namelen = sizeof batchFrom[i];
          messages[i].msg_hdr.msg_iov = &data[i];
          messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int n = ::recvmmsg(bare, messages.data(), messages.size(), MSG_DONTWAIT, nullptr);
        if (n <= 0) break;
        received += n;
      }
    }
    mmsgNs.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kQueued);
  }
  const double c = Median(controlNs);
  const double b = Median(bareNs);
  std::printf("datagrams absorbed from a drained burst (%d queued; median of %d rounds)\n", kQueued, kRounds);
  std::printf("  datagram socket (recvmmsg, event loop, handler): %6.0f ns per datagram\n", c);
  std::printf("  bare poll + recvfrom loop:                      %7.0f ns per datagram\n", b);
  std::printf("  bare poll + recvmmsg loop (32 a call):         %7.0f ns per datagram\n", Median(mmsgNs));
  std::printf("  capacity control / bare recvfrom: %.2fx\n", b / c);
  return 0;
}
