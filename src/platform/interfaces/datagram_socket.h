#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace artnet {

// An IPv4 address as a number, its first octet in the high byte.
using IPv4 = std::uint32_t;

// Error numbers a socket reports (0 = none): Winsock's, on both platforms.
inline constexpr int kSockOk = 0;
inline constexpr int kSockErrAddressInUse = 10048;  // another program holds the port
inline constexpr int kSockErrAddressNotAvail = 10049;
inline constexpr int kSockErrNetUnreachable = 10051;
inline constexpr int kSockErrAccess = 10013;
inline constexpr int kSockErrWouldBlock = 10035;  // the send buffer is full right now
inline constexpr int kSockErrInvalid = 10022;
inline constexpr int kSockErrHostNotFound = 11001;  // the destination is not a usable address
inline constexpr int kSockErrWrongState = 40020;    // operation not valid in the current state

// Receive handlers nest when one runs an event loop (a host helper that
// pumps, a message box, the scan). Below this depth each level receives the
// next datagram in arrival order; at it, datagrams wait in the socket until
// the deepest handler returns, so the stack and the slots stay bounded.
inline constexpr int kMaxDeliveryDepth = 4;

// A UDP socket: open on a port, send bytes to an address, receive bytes with
// their sender. Every operation reports an error number and never throws;
// nothing is remembered between calls that the caller could have told it.
class DatagramSocket {
 public:
  // One datagram as it arrived: valid until the handler returns, and kept
  // intact while the handler runs a nested event loop.
  using ReceiveHandler = std::function<void(std::span<const std::uint8_t> datagram, IPv4 sender)>;

  virtual ~DatagramSocket() = default;

  // Opens the socket bound to `port` (0: a free one) on all local addresses,
  // without sharing the port: kSockErrAddressInUse when another program holds
  // it, kSockErrWrongState when already open.
  virtual int Open(int port) = 0;
  // Harmless when closed; what was received and not yet handled goes with it.
  virtual int Close() = 0;
  // Sends one datagram from the open socket (kSockErrWrongState when closed).
  // A limited broadcast (255.255.255.255) leaves through the lighting
  // interface even where no route covers it. Fails with kSockErrWouldBlock
  // when the socket cannot take the datagram now; Writable follows once it can.
  virtual int SendTo(IPv4 address, int port, std::span<const std::uint8_t> datagram) = 0;
  // The local address of the lighting interface for datagrams to
  // `destination`, as dotted text: the interface whose network holds it,
  // else the one the routing table picks, else the first one up that is not
  // loopback, else loopback. No destination skips the first two.
  virtual int LocalAddressTowards(std::optional<IPv4> destination, std::string& address) = 0;
  // Runs once for every datagram that arrives on the open socket, nested at
  // most kMaxDeliveryDepth deep.
  virtual void SetReceiveHandler(ReceiveHandler handler) = 0;
  // Runs once after a SendTo failed with kSockErrWouldBlock, when the open
  // socket can take datagrams again.
  virtual void SetWritableHandler(std::function<void()> handler) = 0;
};

}  // namespace artnet
