#include "platform/core/datagram_socket_core.h"

namespace artnet {

DatagramSocketCore::~DatagramSocketCore() { MarkDestroyed(); }

int DatagramSocketCore::Open(int port) {
  if (IsOpen()) return kSockErrWrongState;
  if (port < 0 || port > 65535) return kSockErrInvalid;
  if (const int error = OpenSocket(port); error != kSockOk) return error;
  broadcastInterface_ = 0;
  // A new socket reads from the start: at the nesting bound it must be paused
  // again, or its notifier fires for as long as the deepest handler runs.
  resumeOwed_ = false;
  return kSockOk;
}

int DatagramSocketCore::Close() {
  if (IsOpen()) CloseSocket();
  return kSockOk;
}

int DatagramSocketCore::SendTo(IPv4 address, int port, std::span<const std::uint8_t> datagram) {
  if (!IsOpen()) return kSockErrWrongState;
  int error = SystemSendTo(address, port, datagram);
  // A flat lighting network has no default route, and some systems route
  // even 255.255.255.255 (Linux, and Wine on it): name the interface instead.
  if (error == kSockErrNetUnreachable && address == kLimitedBroadcast) error = SendRouteless(address, port, datagram);
  if (error == kSockErrWouldBlock) WatchWritable();
  return error;
}

int DatagramSocketCore::SendRouteless(IPv4 address, int port, std::span<const std::uint8_t> datagram) {
  if (broadcastInterface_ != 0) {
    const int error = SendThrough(broadcastInterface_, address, port, datagram);
    if (error == kSockOk || error == kSockErrWouldBlock) return error;
  }
  const auto lighting =
      ChooseLightingInterface(UpInterfaces(), address, [this](IPv4 destination) { return RoutedSource(destination); });
  if (!lighting || lighting->index == 0) return kSockErrNetUnreachable;
  broadcastInterface_ = lighting->index;
  return SendThrough(broadcastInterface_, address, port, datagram);
}

int DatagramSocketCore::LocalAddressTowards(std::optional<IPv4> destination, std::string& address) {
  const auto lighting =
      ChooseLightingInterface(UpInterfaces(), destination, [this](IPv4 towards) { return RoutedSource(towards); });
  if (!lighting) return kSockErrAddressNotAvail;
  address = DottedIPv4(lighting->address);
  return kSockOk;
}

void DatagramSocketCore::SetReceiveHandler(ReceiveHandler handler) { receive_.Set(std::move(handler)); }

void DatagramSocketCore::SetWritableHandler(std::function<void()> handler) { writable_.Set(std::move(handler)); }

bool DatagramSocketCore::MayDeliver() {
  if (depth_ < kMaxDeliveryDepth) return true;
  if (!resumeOwed_) {
    resumeOwed_ = true;
    PauseReading();
  }
  return false;
}

bool DatagramSocketCore::Deliver(const Datagram& datagram) {
  const std::shared_ptr<bool> alive = alive_;
  ++depth_;
  receive_.Run(std::span<const std::uint8_t>(datagram.bytes.get(), datagram.length), datagram.sender);
  if (!*alive) return false;
  --depth_;
  // Owed to whichever socket is open now: the handler may have re-opened it.
  if (resumeOwed_) {
    resumeOwed_ = false;
    if (IsOpen()) ResumeReading();
  }
  return true;
}

bool DatagramSocketCore::RunWritable() {
  const std::shared_ptr<bool> alive = alive_;
  ++writableDepth_;
  writable_.Run();
  if (!*alive) return false;
  --writableDepth_;
  return true;
}

}  // namespace artnet
