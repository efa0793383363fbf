#include "platform/qt/qt_socket_control.h"

#include <arpa/inet.h>
#include <errno.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <cstring>

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
    case EADDRINUSE: return kSockErrAddressInUse;
    case EADDRNOTAVAIL: return kSockErrAddressNotAvail;
    case ENETUNREACH: return kSockErrNetUnreachable;
    case EACCES:
    case EPERM: return kSockErrAccess;
    case EAGAIN: return kWsaWouldBlock;
    case EMSGSIZE: return kWsaMessageSize;
    case EAFNOSUPPORT: return kWsaAfNoSupport;
    case ENETDOWN: return kWsaNetDown;
    case ENOBUFS:
    case ENOMEM: return kWsaNoBufs;
    case ECONNREFUSED: return kWsaConnRefused;
    case EHOSTUNREACH: return kWsaHostUnreach;
    case EMFILE:
    case ENFILE: return kWsaTooManySockets;
    default: return kSockErrInvalid;
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
  RetireNotifier();
  if (depth_ == 0) {
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

void QtSocketControl::RetireNotifier() {
  if (notifier_ == nullptr) return;
  notifier_->setEnabled(false);
  QObject::disconnect(notifier_, nullptr, nullptr, nullptr);
  retired_.push_back(notifier_);
  notifier_ = nullptr;
}

void QtSocketControl::DeleteRetiredNotifiers() {
  if (depth_ != 0) return;
  for (QSocketNotifier* notifier : retired_) delete notifier;
  retired_.clear();
}

int QtSocketControl::Close() {
  if (fd_ < 0) return kSockOk;
  RetireNotifier();
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
  if (fd_ < 0) {
    port = localPort_;
    return kSockOk;
  }
  sockaddr_in bound{};
  socklen_t size = sizeof bound;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &size) != 0) return WinsockError(errno);
  port = ntohs(bound.sin_port);
  return kSockOk;
}

int QtSocketControl::SetRemotePort(int port) {
  if (port < 0 || port > 65535) return kSockErrInvalid;
  remotePort_ = port;
  return kSockOk;
}

int QtSocketControl::SetRemoteHost(const std::string& host) {
  remoteHost_ = host;
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

  fd_ = fd;
  ++openCount_;
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
  // Dotted IPv4 only: a name would mean a blocking DNS lookup on the UI thread.
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  if (inet_pton(AF_INET, remoteHost_.c_str(), &remote.sin_addr) != 1) return kSockErrHostNotFound;
  if (remotePort_ <= 0) return kSockErrAddressNotAvail;
  remote.sin_port = htons(static_cast<std::uint16_t>(remotePort_));

  ssize_t sent;
  do {
    sent = ::sendto(fd_, packet.data(), packet.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&remote),
                    sizeof remote);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) return WinsockError(errno);
  return kSockOk;
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
    const ssize_t received = ::recvfrom(fd, buffer, kReceiveBufferSize, 0,
                                        reinterpret_cast<sockaddr*>(&datagram.sender), &senderSize);
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

int QtSocketControl::GetLocalIP(std::string& ip) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return WinsockError(errno);
  std::string loopback;
  std::string found;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0) continue;
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    if ((entry->ifa_flags & IFF_LOOPBACK) != 0) {
      if (loopback.empty()) loopback = DottedText(address->sin_addr);
      continue;
    }
    found = DottedText(address->sin_addr);
    if (!found.empty()) break;
  }
  ::freeifaddrs(list);
  if (found.empty()) found = loopback;
  if (found.empty()) return kSockErrAddressNotAvail;
  ip = found;
  return kSockOk;
}

void QtSocketControl::SetDataArrivalHandler(std::function<void()> handler) {
  handler_ = std::make_shared<const std::function<void()>>(std::move(handler));
}

}  // namespace artnet
