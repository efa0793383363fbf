#pragma once

#include <netinet/in.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/socket_control.h"

class QSocketNotifier;
class QTimer;

namespace artnet {

// A UDP socket control over plain BSD sockets, read through a
// QSocketNotifier. QUdpSocket is avoided on purpose: it binds a random port
// behind our back after a failed bind, stops notifying inside nested event
// loops and reports IPv4 senders as ::ffff:a.b.c.d.
class QtSocketControl final : public SocketControl {
 public:
  QtSocketControl();
  ~QtSocketControl() override;
  QtSocketControl(const QtSocketControl&) = delete;
  QtSocketControl& operator=(const QtSocketControl&) = delete;

  int GetState(int& state) override;
  int Close() override;
  int SetLocalPort(int port) override;
  int GetLocalPort(int& port) override;
  int SetRemotePort(int port) override;
  int SetRemoteHost(const std::string& host) override;
  int Bind(int port) override;
  int SendData(std::span<const std::uint8_t> packet) override;
  int GetData(std::span<std::uint8_t> out, std::size_t& length) override;
  int GetRemoteHostIP(std::string& ip) override;
  int GetLocalIP(const std::string& towards, std::string& ip) override;
  void SetDataArrivalHandler(std::function<void()> handler) override;
  void SetWritableHandler(std::function<void()> handler) override;

 private:
  // One received datagram. Slots are reused, so steady receiving allocates nothing.
  struct Slot {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t length = 0;
    sockaddr_in sender{};
  };
  static constexpr std::size_t kBatch = 32;  // datagrams taken from the kernel per system call

  int Open(int port);
  // sendto, or sendmsg through the lighting interface for a limited
  // broadcast that has no route. Returns errno's value, 0 when sent.
  int Transmit(const sockaddr_in& remote, std::span<const std::uint8_t> packet);
  int TransmitThrough(unsigned interfaceIndex, const sockaddr_in& remote, std::span<const std::uint8_t> packet);
  void WatchWritable();
  void OnReadable();
  // Takes up to `wanted` datagrams from the kernel into the queue; false when none came.
  bool Refill(std::size_t wanted);
  void DropQueue();
  void OnWritable();
  void RetireNotifiers();
  void DeleteRetiredNotifiers();

  int fd_ = -1;
  std::uint64_t openCount_ = 0;  // tells a re-opened socket apart from the one being read
  QSocketNotifier* notifier_ = nullptr;
  QSocketNotifier* writeNotifier_ = nullptr;  // created at the first full send buffer
  // Notifiers of closed sockets. One may be emitting the signal that led to
  // the close, so they are deleted only when no handler is running.
  std::vector<QSocketNotifier*> retired_;
  // Interface a routeless 255.255.255.255 last left through; found again
  // when it fails or the socket is re-opened.
  unsigned broadcastInterface_ = 0;
  int localPort_ = 0;
  int boundPort_ = 0;  // the open socket's port, known from the bind: no lookup per send
  int remotePort_ = 0;
  std::string remoteHost_;
  // remoteHost_ parsed once when it is set, not on every send.
  in_addr remoteAddress_{};
  bool remoteAddressValid_ = false;
  std::shared_ptr<const std::function<void()>> handler_;
  std::shared_ptr<const std::function<void()>> writableHandler_;
  int writableDepth_ = 0;

  // The datagram whose DataArrival is running; the innermost one while
  // handlers nest.
  const Slot* current_ = nullptr;
  // Every slot ever made; a handler running at each nesting depth holds one,
  // so there are at most kBatch + kMaxDeliveryDepth of them.
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<Slot*> free_;
  // Datagrams read from the kernel but not yet delivered, oldest first.
  // Shared by all nesting levels: a nested loop delivers these before it
  // reads anything newer, so order holds.
  std::array<Slot*, kBatch> queue_{};
  std::size_t queueNext_ = 0;
  std::size_t queueEnd_ = 0;
  // Runs OnReadable again when a wake-up ran out of time with datagrams
  // still queued here (the notifier only knows about the kernel's queue).
  QTimer* drainTimer_ = nullptr;
  int depth_ = 0;
  // A wake-up came while the deepest level ran; reading resumes once it has
  // returned.
  bool resumeOwed_ = false;
  // Lets a read loop notice that a handler destroyed the control.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace artnet
