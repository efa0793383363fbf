#include "net_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace artnet::itest {

bool InTestNetns() {
  const char* value = std::getenv("ARTNET_TEST_NETNS");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

NetworkChange::NetworkChange(const std::string& apply, std::string undo) : undo_(std::move(undo)) {
  applied_ = std::system(apply.c_str()) == 0;
  if (!applied_) ADD_FAILURE() << "could not change the network: " << apply;
}

void NetworkChange::Undo() {
  if (applied_ && std::system(undo_.c_str()) != 0) ADD_FAILURE() << "could not undo: " << undo_;
  applied_ = false;
}

NetworkChange Routeless() { return NetworkChange("ip route del default", "ip route add default dev artnet0"); }

NetworkChange MultiHomed() {
  return NetworkChange(
      "{ ip link add office0 type ifb 2>/dev/null || ip link add office0 type bridge; } &&"
      " ip addr add 192.168.77.1/24 dev office0 && ip link set office0 up && ip route replace default dev office0",
      "ip link del office0 && ip route replace default dev artnet0");
}

NetworkChange SlowLink() {
  return NetworkChange("tc qdisc add dev artnet0 root tbf rate 8kbit burst 1600 limit 100000000",
                       "tc qdisc del dev artnet0 root");
}

RawUdp::RawUdp(std::uint16_t port, const char* ip, bool share) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  if (share) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  ::inet_pton(AF_INET, ip, &local.sin_addr);
  socklen_t size = sizeof local;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    Release();
    return;
  }
  port_ = ntohs(local.sin_port);
}

RawUdp::~RawUdp() { Release(); }

void RawUdp::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RawUdp::SendTo(const char* ip, std::uint16_t port, std::span<const std::uint8_t> bytes) {
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(port);
  if (::inet_pton(AF_INET, ip, &remote.sin_addr) != 1) return false;
  return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&remote), sizeof remote) ==
         static_cast<ssize_t>(bytes.size());
}

bool RawUdp::SendTo(const char* ip, std::uint16_t port, const std::string& text) {
  const auto bytes = Bytes(text);
  return SendTo(ip, port, std::span<const std::uint8_t>(bytes));
}

std::optional<Received> RawUdp::Receive(int timeoutMs) {
  pollfd waiting{fd_, POLLIN, 0};
  if (::poll(&waiting, 1, timeoutMs) != 1) return std::nullopt;
  Received received;
  received.bytes.resize(65536);
  sockaddr_in sender{};
  socklen_t size = sizeof sender;
  const ssize_t length =
      ::recvfrom(fd_, received.bytes.data(), received.bytes.size(), 0, reinterpret_cast<sockaddr*>(&sender), &size);
  if (length < 0) return std::nullopt;
  received.bytes.resize(static_cast<std::size_t>(length));
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
  received.senderIp = text;
  received.senderPort = ntohs(sender.sin_port);
  return received;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer elapsed;
  elapsed.start();
  QTimer wakeUp;  // bounds each wait so the deadline is checked
  wakeUp.start(5);
  while (!done() && elapsed.elapsed() < timeoutMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return done();
}

void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

void NestedLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

void PostToLoop(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace artnet::itest
