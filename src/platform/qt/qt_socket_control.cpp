#include "platform/qt/qt_socket_control.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/qt/lighting_interface.h"

namespace artnet {
namespace {

constexpr std::size_t kReceiveBufferSize = 65536;  // larger than any UDP/IPv4 datagram
// Each wake-up is bounded twice: by count, and by time, since one
// datagram may cost the host hundreds of calls. Under a flood the event
// loop thus gets a turn at least every kWakeUpBudgetNs plus one datagram.
constexpr std::size_t kMaxDatagramsPerWakeUp = 64;
constexpr std::int64_t kWakeUpBudgetNs = 250'000;

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

std::int64_t MonotonicNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
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
  if (drainTimer_ != nullptr) {
    drainTimer_->stop();
    QObject::disconnect(drainTimer_, nullptr, nullptr, nullptr);
  }
  if (depth_ == 0 && writableDepth_ == 0) {
    DeleteRetiredNotifiers();
    delete drainTimer_;
  } else {
    // Destroyed from inside a DataArrival: the emitting notifier (or the
    // drain timer) must outlive its signal.
    for (QSocketNotifier* notifier : retired_) notifier->deleteLater();
    retired_.clear();
    if (drainTimer_ != nullptr) drainTimer_->deleteLater();
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
  DropQueue();  // read ahead from this socket; the kernel drops the rest of its queue too
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

void QtSocketControl::DropQueue() {
  for (std::size_t i = queueNext_; i < queueEnd_; ++i) free_.push_back(queue_[i]);
  queueNext_ = queueEnd_ = 0;
}

bool QtSocketControl::Refill(std::size_t wanted) {
  wanted = std::min(wanted, kBatch);
  // kBatch slots at first, then one more whenever none is free: a handler
  // at each outer nesting level holds one.
  while (slots_.size() < kBatch || free_.empty()) {
    auto slot = std::make_unique<Slot>();
    slot->bytes.reset(new std::uint8_t[kReceiveBufferSize]);  // not zeroed: untouched pages cost nothing
    free_.push_back(slot.get());
    slots_.push_back(std::move(slot));
  }
  const std::size_t count = std::min(wanted, free_.size());
  std::array<mmsghdr, kBatch> messages{};
  std::array<iovec, kBatch> data{};
  for (std::size_t i = 0; i < count; ++i) {
    Slot* const slot = free_[free_.size() - 1 - i];
    data[i] = iovec{slot->bytes.get(), kReceiveBufferSize};
    messages[i].msg_hdr.msg_name = &slot->sender;
    messages[i].msg_hdr.msg_namelen = sizeof slot->sender;
    messages[i].msg_hdr.msg_iov = &data[i];
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  int received;
  do {
    received = ::recvmmsg(fd_, messages.data(), static_cast<unsigned>(count), MSG_DONTWAIT, nullptr);
  } while (received < 0 && errno == EINTR);
  // Queue empty (EAGAIN), or a transient error such as ICMP feedback: the
  // notifier tells us when there is more.
  if (received <= 0) return false;
  queueNext_ = 0;
  queueEnd_ = static_cast<std::size_t>(received);
  for (std::size_t i = 0; i < queueEnd_; ++i) {
    Slot* const slot = free_.back();
    free_.pop_back();
    slot->length = messages[i].msg_len;
    queue_[i] = slot;
  }
  return true;
}

void QtSocketControl::OnReadable() {
  const std::shared_ptr<bool> alive = alive_;
  const int fd = fd_;
  const std::uint64_t openCount = openCount_;
  if (fd < 0) return;
  // A handler pumping events (a host helper that yields to its loop) would
  // otherwise go one level deeper per datagram until the stack overflows.
  // The notifier fires for as long as the kernel holds datagrams, so it is
  // quieted until the deepest handler returns; the datagrams wait.
  if (depth_ >= kMaxDeliveryDepth) {
    if (notifier_ != nullptr) notifier_->setEnabled(false);
    resumeOwed_ = true;
    return;
  }
  const std::int64_t start = MonotonicNs();
  // The clock is read after every datagram only while datagrams are
  // expensive; cheap ones are checked every few, which keeps the reading
  // off the per-datagram cost.
  std::size_t nextCheck = 1;
  // Held by a second reference: the handler may replace itself.
  std::shared_ptr<const std::function<void()>> handler;

  // A handler may run a nested event loop that re-enters here; datagrams
  // already read are delivered first, each from its own slot, so the outer
  // datagram stays intact and the order holds.
  for (std::size_t delivered = 0; delivered < kMaxDatagramsPerWakeUp;) {
    if (queueNext_ == queueEnd_ && !Refill(kMaxDatagramsPerWakeUp - delivered)) return;
    Slot* const slot = queue_[queueNext_++];

    const Slot* const previous = current_;
    current_ = slot;
    ++depth_;
    if (handler.get() != handler_.get()) handler = handler_;
    if (handler && *handler) {
      try {
        (*handler)();
      } catch (...) {
        // The event loop is no place for an exception; the datagram is dropped.
      }
    }
    if (!*alive) return;
    --depth_;
    current_ = previous;
    free_.push_back(slot);
    ++delivered;
    if (resumeOwed_) {
      resumeOwed_ = false;
      if (notifier_ != nullptr) notifier_->setEnabled(true);
    }

    // The handler may have closed or re-opened the socket; the old
    // descriptor number may even belong to a new socket now.
    if (fd_ != fd || openCount_ != openCount) break;
    if (delivered == nextCheck) {
      const std::int64_t elapsed = MonotonicNs() - start;
      if (elapsed >= kWakeUpBudgetNs) break;
      // Half of what the remaining budget would allow at the average cost so far.
      const std::int64_t perDatagram = elapsed / static_cast<std::int64_t>(delivered) + 1;
      const auto affordable = static_cast<std::size_t>((kWakeUpBudgetNs - elapsed) / perDatagram / 2);
      nextCheck = delivered + std::clamp<std::size_t>(affordable, 1, 16);
    }
  }
  if (queueNext_ != queueEnd_ && fd_ >= 0) {
    if (drainTimer_ == nullptr) {
      drainTimer_ = new QTimer;
      drainTimer_->setSingleShot(true);
      drainTimer_->setInterval(0);
      QObject::connect(drainTimer_, &QTimer::timeout, drainTimer_, [this] { OnReadable(); });
    }
    drainTimer_->start();
  }
}

int QtSocketControl::GetData(std::span<std::uint8_t> out, std::size_t& length) {
  length = 0;
  if (current_ == nullptr) return kSockErrNoData;
  length = std::min(out.size(), current_->length);
  if (length > 0) std::memcpy(out.data(), current_->bytes.get(), length);
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
