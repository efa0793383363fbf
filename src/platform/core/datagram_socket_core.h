#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/core/event_handler.h"
#include "platform/core/ipv4.h"
#include "platform/interfaces/datagram_socket.h"

namespace artnet {

// What both platforms' datagram sockets share: sending with the
// limited-broadcast fallback, the lighting interface, and the delivery of a
// datagram to the receive handler with its nesting rules. Each platform adds
// only its system calls and how it learns that the socket is readable or
// writable.
class DatagramSocketCore : public DatagramSocket {
 public:
  DatagramSocketCore() = default;
  ~DatagramSocketCore() override;
  DatagramSocketCore(const DatagramSocketCore&) = delete;
  DatagramSocketCore& operator=(const DatagramSocketCore&) = delete;

  int Open(int port) final;
  int Close() final;
  int SendTo(IPv4 address, int port, std::span<const std::uint8_t> datagram) final;
  int LocalAddressTowards(std::optional<IPv4> destination, std::string& address) final;
  void SetReceiveHandler(ReceiveHandler handler) final;
  void SetWritableHandler(std::function<void()> handler) final;

 protected:
  // One received datagram; a handler running at each nesting depth holds its own.
  struct Datagram {
    static constexpr std::size_t kCapacity = 65536;                      // larger than any UDP/IPv4 datagram
    std::unique_ptr<std::uint8_t[]> bytes{new std::uint8_t[kCapacity]};  // not zeroed: untouched pages cost nothing
    std::size_t length = 0;
    IPv4 sender = 0;
  };

  // The platform's system calls. Errors are Winsock's numbers, 0 for none.
  virtual bool IsOpen() const = 0;
  // Bound to `port` on all addresses, not shared, non-blocking, broadcasts
  // allowed, readiness watched.
  virtual int OpenSocket(int port) = 0;
  // Gone whatever the system reports; what was read ahead goes with it.
  virtual void CloseSocket() = 0;
  virtual int SystemSendTo(IPv4 address, int port, std::span<const std::uint8_t> datagram) = 0;
  // Out through that interface, where no route covers the destination.
  virtual int SendThrough(unsigned interfaceIndex, IPv4 address, int port, std::span<const std::uint8_t> datagram) = 0;
  // A send was refused for a full buffer: call RunWritable once it drains.
  virtual void WatchWritable() = 0;
  virtual std::vector<InterfaceAddress> UpInterfaces() = 0;
  // The source address the routing table picks for `destination`.
  virtual std::optional<IPv4> RoutedSource(IPv4 destination) = 0;
  // At the nesting bound, reading waits until the deepest handler returns.
  virtual void PauseReading() = 0;
  virtual void ResumeReading() = 0;

  // For the platform's readiness handling. False at the nesting bound: leave
  // the datagrams where they are.
  bool MayDeliver();
  // Runs the receive handler for `datagram`. False when the handler
  // destroyed the socket: touch nothing of it then.
  bool Deliver(const Datagram& datagram);
  // Runs Writable; false when the handler destroyed the socket.
  bool RunWritable();
  // How many receive handlers are running, nested.
  int Depth() const { return depth_; }
  bool HandlerRunning() const { return depth_ > 0 || writableDepth_ > 0; }
  // The first thing a platform's destructor does: loops still running
  // inside a handler then stop touching the socket.
  void MarkDestroyed() { *alive_ = false; }

 private:
  // 255.255.255.255 where no route covers it: through the lighting interface.
  int SendRouteless(IPv4 address, int port, std::span<const std::uint8_t> datagram);

  // Interface a routeless 255.255.255.255 last left through; found again
  // when it fails or the socket is re-opened.
  unsigned broadcastInterface_ = 0;
  EventHandler<std::span<const std::uint8_t>, IPv4> receive_;
  EventHandler<> writable_;
  int depth_ = 0;
  int writableDepth_ = 0;
  // A wake-up came at the nesting bound; reading resumes once the deepest handler has returned.
  bool resumeOwed_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace artnet
