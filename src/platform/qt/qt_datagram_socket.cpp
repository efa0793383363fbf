#include "platform/qt/qt_datagram_socket.h"

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

#include "platform/qt/network_interfaces.h"

namespace artnet {
namespace {

// Each wake-up is bounded twice: by count, and by time, since one
// datagram may cost the host hundreds of calls. Under a flood the event
// loop thus gets a turn at least every kWakeUpBudgetNs plus one datagram.
constexpr std::size_t kMaxDatagramsPerWakeUp = 64;
constexpr std::int64_t kWakeUpBudgetNs = 250'000;

// Winsock numbers for errno values the socket can meet.
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

in_addr InAddr(IPv4 address) {
  in_addr result{};
  result.s_addr = htonl(address);
  return result;
}

sockaddr_in Remote(IPv4 address, int port) {
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr = InAddr(address);
  remote.sin_port = htons(static_cast<std::uint16_t>(port));
  return remote;
}

}  // namespace

QtDatagramSocket::~QtDatagramSocket() {
  MarkDestroyed();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  RetireNotifiers();
  if (drainTimer_ != nullptr) {
    drainTimer_->stop();
    QObject::disconnect(drainTimer_, nullptr, nullptr, nullptr);
  }
  if (!HandlerRunning()) {
    DeleteRetiredNotifiers();
    delete drainTimer_;
  } else {
    // Destroyed from inside a receive handler: the emitting notifier (or the
    // drain timer) must outlive its signal.
    for (QSocketNotifier* notifier : retired_) notifier->deleteLater();
    retired_.clear();
    if (drainTimer_ != nullptr) drainTimer_->deleteLater();
  }
}

void QtDatagramSocket::RetireNotifiers() {
  for (QSocketNotifier** notifier : {&notifier_, &writeNotifier_}) {
    if (*notifier == nullptr) continue;
    (*notifier)->setEnabled(false);
    QObject::disconnect(*notifier, nullptr, nullptr, nullptr);
    retired_.push_back(*notifier);
    *notifier = nullptr;
  }
}

void QtDatagramSocket::DeleteRetiredNotifiers() {
  if (HandlerRunning()) return;
  for (QSocketNotifier* notifier : retired_) delete notifier;
  retired_.clear();
}

void QtDatagramSocket::CloseSocket() {
  DropQueue();  // read ahead from this socket; the kernel drops the rest of its queue too
  RetireNotifiers();
  DeleteRetiredNotifiers();
  const int fd = fd_;
  fd_ = -1;
  // The descriptor is gone whatever close() reports (Linux never retries it).
  ::close(fd);
}

int QtDatagramSocket::OpenSocket(int port) {
  DeleteRetiredNotifiers();
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return WinsockError(errno);
  const auto fail = [fd] {
    const int err = errno;
    ::close(fd);
    return WinsockError(err);
  };

  // Broadcast destinations must work without the caller asking. No
  // SO_REUSEADDR: a port another program holds has to fail the bind.
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) return fail();
  sockaddr_in local = Remote(INADDR_ANY, port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return fail();

  fd_ = fd;
  ++openCount_;
  notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read);
  QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { OnReadable(); });
  return kSockOk;
}

int QtDatagramSocket::SystemSendTo(IPv4 address, int port, std::span<const std::uint8_t> packet) {
  const sockaddr_in remote = Remote(address, port);
  ssize_t sent;
  do {
    sent = ::sendto(fd_, packet.data(), packet.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&remote),
                    sizeof remote);
  } while (sent < 0 && errno == EINTR);
  return sent >= 0 ? kSockOk : WinsockError(errno);
}

int QtDatagramSocket::SendThrough(unsigned interfaceIndex, IPv4 address, int port,
                                  std::span<const std::uint8_t> packet) {
  sockaddr_in remote = Remote(address, port);
  iovec data{const_cast<std::uint8_t*>(packet.data()), packet.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = &remote;
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
  return sent >= 0 ? kSockOk : WinsockError(errno);
}

std::vector<InterfaceAddress> QtDatagramSocket::UpInterfaces() { return UpIPv4Interfaces(); }

std::optional<IPv4> QtDatagramSocket::RoutedSource(IPv4 destination) { return RoutedSourceAddress(destination); }

void QtDatagramSocket::WatchWritable() {
  if (writeNotifier_ == nullptr) {
    writeNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Write);
    QObject::connect(writeNotifier_, &QSocketNotifier::activated, writeNotifier_, [this] { OnWritable(); });
  }
  writeNotifier_->setEnabled(true);
}

void QtDatagramSocket::OnWritable() {
  // One event per full buffer, as the handler's contract says.
  if (writeNotifier_ != nullptr) writeNotifier_->setEnabled(false);
  RunWritable();
}

// The notifier fires for as long as the kernel holds datagrams: quieted.
void QtDatagramSocket::PauseReading() {
  if (notifier_ != nullptr) notifier_->setEnabled(false);
}

void QtDatagramSocket::ResumeReading() {
  if (notifier_ != nullptr) notifier_->setEnabled(true);
}

void QtDatagramSocket::DropQueue() {
  for (std::size_t i = queueNext_; i < queueEnd_; ++i) free_.push_back(queue_[i]);
  queueNext_ = queueEnd_ = 0;
}

bool QtDatagramSocket::Refill(std::size_t wanted) {
  wanted = std::min(wanted, kBatch);
  // kBatch slots at first, then one more whenever none is free: a handler
  // at each outer nesting level holds one.
  while (slots_.size() < kBatch || free_.empty()) {
    slots_.push_back(std::make_unique<Datagram>());
    free_.push_back(slots_.back().get());
  }
  const std::size_t count = std::min(wanted, free_.size());
  std::array<mmsghdr, kBatch> messages{};
  std::array<iovec, kBatch> data{};
  std::array<sockaddr_in, kBatch> senders{};
  for (std::size_t i = 0; i < count; ++i) {
    Datagram* const slot = free_[free_.size() - 1 - i];
    data[i] = iovec{slot->bytes.get(), Datagram::kCapacity};
    messages[i].msg_hdr.msg_name = &senders[i];
    messages[i].msg_hdr.msg_namelen = sizeof senders[i];
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
    Datagram* const slot = free_.back();
    free_.pop_back();
    slot->length = messages[i].msg_len;
    slot->sender = ntohl(senders[i].sin_addr.s_addr);
    queue_[i] = slot;
  }
  return true;
}

void QtDatagramSocket::OnReadable() {
  const int fd = fd_;
  const std::uint64_t openCount = openCount_;
  if (fd < 0 || !MayDeliver()) return;
  const std::int64_t start = MonotonicNs();
  // The clock is read after every datagram only while datagrams are
  // expensive; cheap ones are checked every few, which keeps the reading
  // off the per-datagram cost.
  std::size_t nextCheck = 1;

  // A handler may run a nested event loop that re-enters here; datagrams
  // already read are delivered first, each from its own slot, so the outer
  // datagram stays intact and the order holds.
  for (std::size_t delivered = 0; delivered < kMaxDatagramsPerWakeUp;) {
    if (queueNext_ == queueEnd_ && !Refill(kMaxDatagramsPerWakeUp - delivered)) return;
    Datagram* const slot = queue_[queueNext_++];
    if (!Deliver(*slot)) return;
    free_.push_back(slot);
    ++delivered;

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

}  // namespace artnet
