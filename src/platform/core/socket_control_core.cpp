#include "platform/core/socket_control_core.h"

#include <algorithm>
#include <cstring>

namespace artnet {

SocketControlCore::~SocketControlCore() { MarkDestroyed(); }

int SocketControlCore::GetState(int& state) {
  state = IsOpen() ? kSockStateOpen : kSockStateClosed;
  return kSockOk;
}

int SocketControlCore::Close() {
  if (IsOpen()) CloseSocket();
  return kSockOk;
}

int SocketControlCore::SetLocalPort(int port) {
  if (port < 0 || port > 65535) return kSockErrInvalid;
  localPort_ = port;
  return kSockOk;
}

int SocketControlCore::GetLocalPort(int& port) {
  port = IsOpen() ? boundPort_ : localPort_;
  return kSockOk;
}

int SocketControlCore::SetRemotePort(int port) {
  if (port < 0 || port > 65535) return kSockErrInvalid;
  remotePort_ = port;
  return kSockOk;
}

int SocketControlCore::SetRemoteHost(const std::string& host) {
  if (host == remoteHost_) return kSockOk;
  remoteHost_ = host;
  remoteAddress_ = ParseDottedIPv4(remoteHost_);
  return kSockOk;
}

int SocketControlCore::Open(int port) {
  int boundPort = port;
  if (const int error = OpenSocket(port, boundPort); error != kSockOk) return error;
  boundPort_ = boundPort;
  broadcastInterface_ = 0;
  // A new socket reads from the start: at the nesting bound it must be paused
  // again, or its notifier fires for as long as the deepest handler runs.
  resumeOwed_ = false;
  return kSockOk;
}

int SocketControlCore::Bind(int port) {
  if (IsOpen()) return kSockErrWrongState;
  if (port < 0 || port > 65535) return kSockErrInvalid;
  localPort_ = port;
  return Open(port);
}

int SocketControlCore::SendData(std::span<const std::uint8_t> packet) {
  if (!IsOpen()) {
    if (const int error = Open(localPort_); error != kSockOk) return error;
  }
  if (!remoteAddress_) return kSockErrHostNotFound;
  if (remotePort_ <= 0) return kSockErrAddressNotAvail;
  const int error = Transmit(*remoteAddress_, packet);
  if (error == kSockErrWouldBlock) WatchWritable();
  return error;
}

int SocketControlCore::Transmit(IPv4 address, std::span<const std::uint8_t> packet) {
  const int error = SendTo(address, remotePort_, packet);
  // A flat lighting network has no default route, and some systems route
  // even 255.255.255.255 (Linux, and Wine on it): name the interface instead.
  if (error != kSockErrNetUnreachable || address != kLimitedBroadcast) return error;
  if (broadcastInterface_ != 0) {
    const int cachedError = SendThrough(broadcastInterface_, address, remotePort_, packet);
    if (cachedError == kSockOk || cachedError == kSockErrWouldBlock) return cachedError;
  }
  const auto lighting =
      ChooseLightingInterface(UpInterfaces(), address, [this](IPv4 destination) { return RoutedSource(destination); });
  if (!lighting || lighting->index == 0) return error;
  broadcastInterface_ = lighting->index;
  return SendThrough(broadcastInterface_, address, remotePort_, packet);
}

int SocketControlCore::GetData(std::span<std::uint8_t> out, std::size_t& length) {
  length = 0;
  if (current_ == nullptr) return kSockErrNoData;
  length = std::min(out.size(), current_->length);
  if (length > 0) std::memcpy(out.data(), current_->bytes.get(), length);
  return kSockOk;
}

int SocketControlCore::GetRemoteHostIP(std::string& ip) {
  if (current_ == nullptr) {
    ip.clear();
    return kSockErrNoData;
  }
  ip = DottedIPv4(current_->sender);
  return kSockOk;
}

int SocketControlCore::GetLocalIP(const std::string& towards, std::string& ip) {
  const auto lighting = ChooseLightingInterface(UpInterfaces(), ParseDottedIPv4(towards),
                                                [this](IPv4 destination) { return RoutedSource(destination); });
  if (!lighting) return kSockErrAddressNotAvail;
  ip = DottedIPv4(lighting->address);
  return kSockOk;
}

void SocketControlCore::SetDataArrivalHandler(std::function<void()> handler) { dataArrival_.Set(std::move(handler)); }

void SocketControlCore::SetWritableHandler(std::function<void()> handler) { writable_.Set(std::move(handler)); }

bool SocketControlCore::MayDeliver() {
  if (depth_ < kMaxDeliveryDepth) return true;
  if (!resumeOwed_) {
    resumeOwed_ = true;
    PauseReading();
  }
  return false;
}

bool SocketControlCore::Deliver(const Datagram& datagram) {
  const std::shared_ptr<bool> alive = alive_;
  const Datagram* const previous = current_;
  current_ = &datagram;
  ++depth_;
  dataArrival_.Run();
  if (!*alive) return false;
  --depth_;
  current_ = previous;
  // Owed to whichever socket is open now: the handler may have re-opened it.
  if (resumeOwed_) {
    resumeOwed_ = false;
    if (IsOpen()) ResumeReading();
  }
  return true;
}

bool SocketControlCore::RunWritable() {
  const std::shared_ptr<bool> alive = alive_;
  ++writableDepth_;
  writable_.Run();
  if (!*alive) return false;
  --writableDepth_;
  return true;
}

}  // namespace artnet
