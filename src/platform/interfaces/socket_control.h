#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace artnet {

// Error numbers a socket control reports (0 = none).
inline constexpr int kSockOk = 0;
inline constexpr int kSockErrAddressInUse = 10048;  // another program holds the port
inline constexpr int kSockErrAddressNotAvail = 10049;
inline constexpr int kSockErrNetUnreachable = 10051;
inline constexpr int kSockErrAccess = 10013;
inline constexpr int kSockErrWouldBlock = 10035;  // the send buffer is full right now
inline constexpr int kSockErrInvalid = 10022;
inline constexpr int kSockErrHostNotFound = 11001;  // destination text is not a usable address
inline constexpr int kSockErrWrongState = 40020;    // operation not valid in the current state
inline constexpr int kSockErrNoData = 40006;        // GetData outside a DataArrival

// Socket states as the control reports them.
inline constexpr int kSockStateClosed = 0;
inline constexpr int kSockStateOpen = 1;
inline constexpr int kSockStateConnected = 7;

// DataArrival handlers nest when one runs an event loop (a host helper that
// pumps, a message box, the scan). Below this depth each level delivers the
// next datagram in arrival order; at it, datagrams wait in the socket until
// the deepest handler returns, so the stack and the slots stay bounded.
inline constexpr int kMaxDeliveryDepth = 4;

// A UDP socket control with exactly the operations the endpoint relies on.
// Every operation reports an error number and never throws.
class SocketControl {
 public:
  virtual ~SocketControl() = default;

  virtual int GetState(int& state) = 0;
  virtual int Close() = 0;                  // harmless when already closed
  virtual int SetLocalPort(int port) = 0;   // port of the next bind; 0 = any free port
  virtual int GetLocalPort(int& port) = 0;  // bound port, or the value last written while closed
  virtual int SetRemotePort(int port) = 0;
  virtual int SetRemoteHost(const std::string& host) = 0;  // dotted IPv4 text
  // Opens the socket bound to `port` on all local addresses, without sharing the port.
  virtual int Bind(int port) = 0;
  // Sends one datagram to RemoteHost:RemotePort; opens the socket on LocalPort first if closed.
  // A limited broadcast (255.255.255.255) leaves through the lighting interface
  // even where no route covers it. Fails with kSockErrWouldBlock when the
  // socket cannot take the datagram now; Writable follows once it can.
  virtual int SendData(std::span<const std::uint8_t> packet) = 0;
  // Copies the datagram that raised the current DataArrival (at most out.size() bytes).
  virtual int GetData(std::span<std::uint8_t> out, std::size_t& length) = 0;
  virtual int GetRemoteHostIP(std::string& ip) = 0;  // sender of the current datagram
  // The local address of the lighting interface for datagrams to `towards`
  // (dotted IPv4): the interface whose network holds it, else the one the
  // routing table picks, else the first one up that is not loopback, else
  // loopback.
  virtual int GetLocalIP(const std::string& towards, std::string& ip) = 0;
  // Raised once for every datagram that arrives on the bound port, nested at
  // most kMaxDeliveryDepth deep.
  virtual void SetDataArrivalHandler(std::function<void()> handler) = 0;
  // Raised once after a SendData failed with kSockErrWouldBlock, when the
  // open socket can take datagrams again.
  virtual void SetWritableHandler(std::function<void()> handler) = 0;
};

}  // namespace artnet
