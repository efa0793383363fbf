#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/core/event_handler.h"
#include "platform/core/ipv4.h"
#include "platform/interfaces/socket_control.h"

namespace artnet {

// What both platforms' socket controls share: the control's state, sending
// with the limited-broadcast fallback, the lighting interface, the delivery
// of a datagram to DataArrival with its nesting rules, and the datagram a
// handler reads. Each platform adds only its system calls and how it learns
// that the socket is readable or writable.
class SocketControlCore : public SocketControl {
 public:
  SocketControlCore() = default;
  ~SocketControlCore() override;
  SocketControlCore(const SocketControlCore&) = delete;
  SocketControlCore& operator=(const SocketControlCore&) = delete;

  int GetState(int& state) final;
  int Close() final;
  int SetLocalPort(int port) final;
  int GetLocalPort(int& port) final;
  int SetRemotePort(int port) final;
  int SetRemoteHost(const std::string& host) final;
  int Bind(int port) final;
  int SendData(std::span<const std::uint8_t> packet) final;
  int GetData(std::span<std::uint8_t> out, std::size_t& length) final;
  int GetRemoteHostIP(std::string& ip) final;
  int GetLocalIP(const std::string& towards, std::string& ip) final;
  void SetDataArrivalHandler(std::function<void()> handler) final;
  void SetWritableHandler(std::function<void()> handler) final;

 protected:
  // One received datagram; a handler running at each nesting depth reads its own.
  struct Datagram {
    static constexpr std::size_t kCapacity = 65536;                      // larger than any UDP/IPv4 datagram
    std::unique_ptr<std::uint8_t[]> bytes{new std::uint8_t[kCapacity]};  // not zeroed: untouched pages cost nothing
    std::size_t length = 0;
    IPv4 sender = 0;
  };

  // The platform's system calls. Errors are Winsock's numbers, 0 for none.
  virtual bool IsOpen() const = 0;
  // Bound to `port` on all addresses, not shared, non-blocking, broadcasts
  // allowed, readiness watched; `boundPort` is the port it got.
  virtual int OpenSocket(int port, int& boundPort) = 0;
  // Gone whatever the system reports; what was read ahead goes with it.
  virtual void CloseSocket() = 0;
  virtual int SendTo(IPv4 address, int port, std::span<const std::uint8_t> packet) = 0;
  // Out through that interface, where no route covers the destination.
  virtual int SendThrough(unsigned interfaceIndex, IPv4 address, int port, std::span<const std::uint8_t> packet) = 0;
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
  // Runs DataArrival for `datagram`. False when the handler destroyed the
  // control: touch nothing of it then.
  bool Deliver(const Datagram& datagram);
  // Runs Writable; false when the handler destroyed the control.
  bool RunWritable();
  // How many DataArrival handlers are running, nested.
  int Depth() const { return depth_; }
  bool HandlerRunning() const { return depth_ > 0 || writableDepth_ > 0; }
  // The first thing a platform's destructor does: loops still running
  // inside a handler then stop touching the control.
  void MarkDestroyed() { *alive_ = false; }

 private:
  int Open(int port);
  int Transmit(IPv4 address, std::span<const std::uint8_t> packet);

  int localPort_ = 0;
  int boundPort_ = 0;  // the open socket's port, known from the bind: no lookup per send
  int remotePort_ = 0;
  std::string remoteHost_;
  std::optional<IPv4> remoteAddress_;  // remoteHost_ parsed once when it is set, not on every send
  // Interface a routeless 255.255.255.255 last left through; found again
  // when it fails or the socket is re-opened.
  unsigned broadcastInterface_ = 0;
  EventHandler dataArrival_;
  EventHandler writable_;
  // The datagram whose DataArrival is running; the innermost one while handlers nest.
  const Datagram* current_ = nullptr;
  int depth_ = 0;
  int writableDepth_ = 0;
  // A wake-up came at the nesting bound; reading resumes once the deepest handler has returned.
  bool resumeOwed_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace artnet
