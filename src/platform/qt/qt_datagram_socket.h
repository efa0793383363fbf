#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/datagram_socket_core.h"

class QSocketNotifier;
class QTimer;

namespace artnet {

// A UDP datagram socket over plain BSD sockets, read through a
// QSocketNotifier. QUdpSocket is avoided on purpose: it binds a random port
// behind our back after a failed bind, stops notifying inside nested event
// loops and reports IPv4 senders as ::ffff:a.b.c.d.
class QtDatagramSocket final : public DatagramSocketCore {
 public:
  QtDatagramSocket() = default;
  ~QtDatagramSocket() override;

 private:
  static constexpr std::size_t kBatch = 32;  // datagrams taken from the kernel per system call

  bool IsOpen() const override { return fd_ >= 0; }
  int OpenSocket(int port) override;
  void CloseSocket() override;
  int SystemSendTo(IPv4 address, int port, std::span<const std::uint8_t> packet) override;
  int SendThrough(unsigned interfaceIndex, IPv4 address, int port, std::span<const std::uint8_t> packet) override;
  void WatchWritable() override;
  std::vector<InterfaceAddress> UpInterfaces() override;
  std::optional<IPv4> RoutedSource(IPv4 destination) override;
  void PauseReading() override;
  void ResumeReading() override;

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

  // Every datagram slot ever made; a handler running at each nesting depth
  // holds one, so there are at most kBatch + kMaxDeliveryDepth of them.
  std::vector<std::unique_ptr<Datagram>> slots_;
  std::vector<Datagram*> free_;
  // Datagrams read from the kernel but not yet delivered, oldest first.
  // Shared by all nesting levels: a nested loop delivers these before it
  // reads anything newer, so order holds.
  std::array<Datagram*, kBatch> queue_{};
  std::size_t queueNext_ = 0;
  std::size_t queueEnd_ = 0;
  // Runs OnReadable again when a wake-up ran out of time with datagrams
  // still queued here (the notifier only knows about the kernel's queue).
  QTimer* drainTimer_ = nullptr;
};

}  // namespace artnet
