#include "platform/qt/qt_socket_control.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <cstring>

#include "platform/qt/lighting_interface.h"

namespace artnet {
namespace {

constexpr std::size_t kReceiveBufferSize = 65536;  // larger than any UDP/IPv4 datagram
constexpr int kMaxDatagramsPerWakeUp = 64;

// Winsock numbers for errno values the control can meet.
constexpr int kWsaWouldBlock = 10035;
constexpr int kWsaMessageSize = 10040;
constexpr int kWsaAfNoSupport = 10047;
constexpr int kWsaNetDown = 10050;
constexpr int kWsaNoBufs = 10055;
constexpr int kWsaConnRefused = 10061;
constexpr int kWsaHostUnreach = 10065;
constexpr int kWsaTooManySockets = 10024;

int WinsockError(int err) {
  switch (err) {
    case EADDRINUSE:
      return kSockErrAddressInUse;
    case EADDRNOTAVAIL:
      return kSockErrAddressNotAvail;
    case ENETUNREACH:
      return kSockErrNetUnreachable;
    case EACCES:
    case EPERM:
      return kSockErrAccess;
    case EAGAIN:
      return kWsaWouldBlock;
    case EMSGSIZE:
      return kWsaMessageSize;
    case EAFNOSUPPORT:
      return kWsaAfNoSupport;
    case ENETDOWN:
      return kWsaNetDown;
    case ENOBUFS:
    case ENOMEM:
      return kWsaNoBufs;
    case ECONNREFUSED:
      return kWsaConnRefused;
    case EHOSTUNREACH:
      return kWsaHostUnreach;
    case EMFILE:
    case ENFILE:
      return kWsaTooManySockets;
    default:
      return kSockErrInvalid;
  }
}

std::string DottedText(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return {};
  return text;
}

}  // namespace

QtSocketControl::QtSocketControl() = default;

QtSocketControl::~QtSocketControl() {
  *alive_ = false;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  RetireNotifiers();
  if (depth_ == 0 && writableDepth_ == 0) {
    DeleteRetiredNotifiers();
  } else {
    // Destroyed from inside a DataArrival: the emitting notifier must outlive its signal.
    for (QSocketNotifier* notifier : retired_) notifier->deleteLater();
    retired_.clear();
  }
}

int QtSocketControl::GetState(int& state) {
  state = fd_ >= 0 ? kSockStateOpen : kSockStateClosed;
  return kSockOk;
}

void QtSocketControl::RetireNotifiers() {
  for (QSocketNotifier** notifier : {&notifier_, &writeNotifier_}) {
    if (*notifier == nullptr) continue;
    (*notifier)->setEnabled(false);
    QObject::disconnect(*notifier, nullptr, nullptr, nullptr);
    retired_.push_back(*notifier);
    *notifier = nullptr;
  }
}

void QtSocketControl::DeleteRetiredNotifiers() {
  if (depth_ != 0 || writableDepth_ != 0) return;
  for (QSocketNotifier* notifier : retired_) delete notifier;
  retired_.clear();
}

int QtSocketControl::Close() {
  if (fd_ < 0) return kSockOk;
  RetireNotifiers();
  DeleteRetiredNotifiers();
  const int fd = fd_;
  fd_ = -1;
  // The descriptor is gone whatever close() reports (Linux never retries it).
  ::close(fd);
  return kSockOk;
}

int QtSocketControl::SetLocalPort(int port) {
  if (port < 0 || port > 65535) return kSockErrInvalid;
  localPort_ = port;
  return kSockOk;
}

int QtSocketControl::GetLocalPort(int& port) {
  port = fd_ < 0 ? localPort_ : boundPort_;
  return kSockOk;
}

int QtSocketControl::SetRemotePort(int port) {
  if (port < 0 || port > 65535) return kSockErrInvalid;
  remotePort_ = port;
  return kSockOk;
}

int QtSocketControl::SetRemoteHost(const std::string& host) {
  if (host == remoteHost_) return kSockOk;
  remoteHost_ = host;
  // Dotted IPv4 only: a name would mean a blocking DNS lookup on the UI thread.
  remoteAddressValid_ = inet_pton(AF_INET, remoteHost_.c_str(), &remoteAddress_) == 1;
  return kSockOk;
}

int QtSocketControl::Open(int port) {
  DeleteRetiredNotifiers();
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return WinsockError(errno);

  // Broadcast destinations must work without the caller asking. No
  // SO_REUSEADDR: a port another program holds has to fail the bind.
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    const int err = errno;
    ::close(fd);
    return WinsockError(err);
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int err = errno;
    ::close(fd);
    return WinsockError(err);
  }
  int boundPort = port;
  if (boundPort == 0) {
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
      const int err = errno;
      ::close(fd);
      return WinsockError(err);
    }
    boundPort = ntohs(bound.sin_port);
  }

  fd_ = fd;
  boundPort_ = boundPort;
  ++openCount_;
  broadcastInterface_ = 0;
  notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read);
  QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { OnReadable(); });
  return kSockOk;
}

int QtSocketControl::Bind(int port) {
  if (fd_ >= 0) return kSockErrWrongState;
  if (port < 0 || port > 65535) return kSockErrInvalid;
  localPort_ = port;
  return Open(port);
}

int QtSocketControl::SendData(std::span<const std::uint8_t> packet) {
  if (fd_ < 0) {
    const int error = Open(localPort_);
    if (error != kSockOk) return error;
  }
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  if (!remoteAddressValid_) return kSockErrHostNotFound;
  remote.sin_addr = remoteAddress_;
  if (remotePort_ <= 0) return kSockErrAddressNotAvail;
  remote.sin_port = htons(static_cast<std::uint16_t>(remotePort_));

  const int err = Transmit(remote, packet);
  if (err == 0) return kSockOk;
  if (err == EAGAIN || err == EWOULDBLOCK) WatchWritable();
  return WinsockError(err);
}

int QtSocketControl::Transmit(const sockaddr_in& remote, std::span<const std::uint8_t> packet) {
  ssize_t sent;
  do {
    sent = ::sendto(fd_, packet.data(), packet.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&remote),
                    sizeof remote);
  } while (sent < 0 && errno == EINTR);
  if (sent >= 0) return 0;
  const int err = errno;
  // A flat lighting network has no default route, and Linux routes even
  // 255.255.255.255; name the interface instead.
  if (err != ENETUNREACH || remote.sin_addr.s_addr != htonl(INADDR_BROADCAST)) return err;
  if (broadcastInterface_ != 0) {
    const int cachedErr = TransmitThrough(broadcastInterface_, remote, packet);
    if (cachedErr == 0 || cachedErr == EAGAIN || cachedErr == EWOULDBLOCK) return cachedErr;
  }
  const auto lighting = FindLightingInterface(&remote.sin_addr);
  if (!lighting || lighting->index == 0) return err;
  broadcastInterface_ = lighting->index;
  return TransmitThrough(broadcastInterface_, remote, packet);
}

int QtSocketControl::TransmitThrough(unsigned interfaceIndex, const sockaddr_in& remote,
                                     std::span<const std::uint8_t> packet) {
  iovec data{const_cast<std::uint8_t*>(packet.data()), packet.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = const_cast<sockaddr_in*>(&remote);
  message.msg_namelen = sizeof remote;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_ifindex = static_cast<int>(interfaceIndex);
  std::memcpy(CMSG_DATA(header), &info, sizeof info);
  ssize_t sent;
  do {
    sent = ::sendmsg(fd_, &message, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent >= 0 ? 0 : errno;
}

void QtSocketControl::WatchWritable() {
  if (writeNotifier_ == nullptr) {
    writeNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Write);
    QObject::connect(writeNotifier_, &QSocketNotifier::activated, writeNotifier_, [this] { OnWritable(); });
  }
  writeNotifier_->setEnabled(true);
}

void QtSocketControl::OnWritable() {
  // One event per full buffer, as the handler's contract says.
  if (writeNotifier_ != nullptr) writeNotifier_->setEnabled(false);
  if (!writableHandler_ || !*writableHandler_) return;
  const std::shared_ptr<bool> alive = alive_;
  const std::shared_ptr<const std::function<void()>> handler = writableHandler_;
  ++writableDepth_;
  try {
    (*handler)();
  } catch (...) {
    // The event loop is no place for an exception.
  }
  if (!*alive) return;
  --writableDepth_;
}

void QtSocketControl::OnReadable() {
  const std::shared_ptr<bool> alive = alive_;
  const int fd = fd_;
  const std::uint64_t openCount = openCount_;
  if (fd < 0) return;

  // A handler may run a nested event loop that re-enters here; each level
  // reads into its own buffer so the outer datagram stays intact.
  const auto level = static_cast<std::size_t>(depth_);
  if (buffers_.size() <= level) buffers_.push_back(std::make_unique<std::uint8_t[]>(kReceiveBufferSize));
  std::uint8_t* const buffer = buffers_[level].get();

  // A bounded batch per wake-up: under a flood the notifier fires again
  // later, and timers and the host's own events get their turn in between.
  for (int batch = 0; batch < kMaxDatagramsPerWakeUp; ++batch) {
    Datagram datagram;
    socklen_t senderSize = sizeof datagram.sender;
    const ssize_t received =
        ::recvfrom(fd, buffer, kReceiveBufferSize, 0, reinterpret_cast<sockaddr*>(&datagram.sender), &senderSize);
    if (received < 0) {
      if (errno == EINTR) continue;
      return;  // queue empty (EAGAIN) or a transient error such as ICMP feedback
    }
    datagram.bytes = buffer;
    datagram.length = static_cast<std::size_t>(received);

    const Datagram* const previous = current_;
    current_ = &datagram;
    ++depth_;
    if (handler_ && *handler_) {
      // Held by a second reference: the handler may replace itself.
      const std::shared_ptr<const std::function<void()>> handler = handler_;
      try {
        (*handler)();
      } catch (...) {
        // The event loop is no place for an exception; the datagram is dropped.
      }
    }
    if (!*alive) return;
    --depth_;
    current_ = previous;

    // The handler may have closed or re-opened the socket; the old
    // descriptor number may even belong to a new socket now.
    if (fd_ != fd || openCount_ != openCount) return;
  }
}

int QtSocketControl::GetData(std::span<std::uint8_t> out, std::size_t& length) {
  length = 0;
  if (current_ == nullptr) return kSockErrNoData;
  length = std::min(out.size(), current_->length);
  if (length > 0) std::memcpy(out.data(), current_->bytes, length);
  return kSockOk;
}

int QtSocketControl::GetRemoteHostIP(std::string& ip) {
  if (current_ == nullptr) {
    ip.clear();
    return kSockErrNoData;
  }
  ip = DottedText(current_->sender.sin_addr);
  return kSockOk;
}

int QtSocketControl::GetLocalIP(const std::string& towards, std::string& ip) {
  in_addr destination{};
  const bool valid = inet_pton(AF_INET, towards.c_str(), &destination) == 1;
  const auto lighting = FindLightingInterface(valid ? &destination : nullptr);
  if (!lighting) return kSockErrAddressNotAvail;
  ip = DottedText(lighting->address);
  return ip.empty() ? kSockErrAddressNotAvail : kSockOk;
}

void QtSocketControl::SetDataArrivalHandler(std::function<void()> handler) {
  handler_ = std::make_shared<const std::function<void()>>(std::move(handler));
}

void QtSocketControl::SetWritableHandler(std::function<void()> handler) {
  writableHandler_ = std::make_shared<const std::function<void()>>(std::move(handler));
}

}  // namespace artnet
