#include "platform/win32/win32_datagram_socket.h"

// clang-format off
#include "platform/win32/windows_support.h"
#include <ws2tcpip.h>
#include <mswsock.h>
// clang-format on

#include "platform/win32/network_interfaces.h"

namespace artnet {
namespace {

// Started once for the process and never cleaned up: sockets may live until it ends.
int StartWinsock() {
  static const int result = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

SOCKET AsSocket(std::uintptr_t handle) { return static_cast<SOCKET>(handle); }

sockaddr_in Address(IPv4 address, int port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_addr.s_addr = htonl(address);
  result.sin_port = htons(static_cast<u_short>(port));
  return result;
}

}  // namespace

Win32DatagramSocket::Win32DatagramSocket(win32::MessageWindow& window) : window_(&window), resumeKey_(window.NewKey()) {
  window_->Attach(win32::kResumeMessage, resumeKey_, this);
}

Win32DatagramSocket::~Win32DatagramSocket() {
  MarkDestroyed();
  if (IsOpen()) CloseSocket();
  window_->Detach(win32::kResumeMessage, resumeKey_);
}

void Win32DatagramSocket::CloseSocket() {
  window_->Detach(win32::kSocketMessage, socket_);
  // The socket is gone whatever closesocket reports; its events still
  // queued find no client.
  const win32::UniqueSocket closing(AsSocket(socket_));
  socket_ = kNoSocket;
  writableWanted_ = false;
}

int Win32DatagramSocket::OpenSocket(int port) {
  if (const int error = StartWinsock(); error != 0) return error;
  const HWND window = static_cast<HWND>(window_->Handle());
  if (window == nullptr) return WSAENOBUFS;
  win32::UniqueSocket handle(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!handle) return WSAGetLastError();

  // Nobody else may take the port over with SO_REUSEADDR; a system without
  // the option still refuses a second plain bind.
  const BOOL on = TRUE;
  setsockopt(handle.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  // Broadcast destinations must work without the caller asking.
  if (setsockopt(handle.Get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
    return WSAGetLastError();
  }
  // Otherwise an ICMP "port unreachable" for an earlier send fails a later
  // receive with WSAECONNRESET. Not every system knows the option.
  BOOL reportReset = FALSE;
  DWORD returned = 0;
  WSAIoctl(handle.Get(), SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &returned, nullptr, nullptr);

  const sockaddr_in local = Address(INADDR_ANY, port);
  if (bind(handle.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return WSAGetLastError();
  const auto key = static_cast<std::uintptr_t>(handle.Get());
  window_->Attach(win32::kSocketMessage, key, this);
  // Also makes the socket non-blocking.
  if (WSAAsyncSelect(handle.Get(), window, win32::kSocketMessage, FD_READ | FD_WRITE) != 0) {
    window_->Detach(win32::kSocketMessage, key);
    return WSAGetLastError();
  }
  socket_ = static_cast<std::uintptr_t>(handle.Release());
  writableWanted_ = false;
  return kSockOk;
}

int Win32DatagramSocket::SystemSendTo(IPv4 address, int port, std::span<const std::uint8_t> packet) {
  const sockaddr_in remote = Address(address, port);
  const int sent =
      sendto(AsSocket(socket_), reinterpret_cast<const char*>(packet.data()), static_cast<int>(packet.size()), 0,
             reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  return sent != SOCKET_ERROR ? kSockOk : WSAGetLastError();
}

int Win32DatagramSocket::SendThrough(unsigned interfaceIndex, IPv4 address, int port,
                                     std::span<const std::uint8_t> packet) {
  // IP_UNICAST_IF for this one send only: it would also steer unicast sends
  // (poll answers to a routed sender, loopback) away from their routes. A
  // control message (WSASendMsg with IP_PKTINFO) would be neater but Wine
  // drops it and the send still finds no route.
  const SOCKET handle = AsSocket(socket_);
  const DWORD index = htonl(interfaceIndex);  // IPv4 takes it in network byte order
  if (setsockopt(handle, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&index), sizeof index) != 0) {
    return WSAGetLastError();
  }
  const int error = SystemSendTo(address, port, packet);
  const DWORD any = 0;
  setsockopt(handle, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&any), sizeof any);
  return error;
}

std::vector<InterfaceAddress> Win32DatagramSocket::UpInterfaces() {
  if (StartWinsock() != 0) return {};
  return win32::UpIPv4Interfaces();
}

std::optional<IPv4> Win32DatagramSocket::RoutedSource(IPv4 destination) {
  if (StartWinsock() != 0) return std::nullopt;
  return win32::RoutedSourceAddress(destination);
}

void Win32DatagramSocket::ResumeReading() { window_->PostResume(resumeKey_); }

void Win32DatagramSocket::OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (message == win32::kResumeMessage) {
    OnReadable();
    return;
  }
  if (wParam != socket_) return;
  const auto event = WSAGETSELECTEVENT(lParam);
  if ((event & FD_READ) != 0) OnReadable();
  if ((event & FD_WRITE) != 0) OnWritable();
}

void Win32DatagramSocket::OnWritable() {
  // One event per refused send, as the handler's contract says; FD_WRITE
  // also comes once when the socket opens.
  if (!writableWanted_) return;
  // The FD_WRITE of the opening may still be queued behind the refusal:
  // only a socket that can take data now has drained.
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(AsSocket(socket_), &writable);
  timeval now{0, 0};
  if (select(0, nullptr, &writable, nullptr, &now) != 1) return;
  writableWanted_ = false;
  RunWritable();
}

void Win32DatagramSocket::OnReadable() {
  if (!IsOpen() || !MayDeliver()) return;
  // Unread, this notification raises no other until the resume.
  if (window_->OthersStarved()) {
    window_->YieldTo(resumeKey_);
    return;
  }
  const auto depth = static_cast<std::size_t>(Depth());
  if (slots_.size() <= depth) slots_.push_back(std::make_unique<Datagram>());
  Datagram& slot = *slots_[depth];

  // One datagram per notification: the receive re-enables FD_READ, and
  // Winsock posts one more while datagrams wait, so the queue holds at most
  // one read message and host calls and timers queued behind it get their
  // turn after each datagram. The outer datagram of a nested level stays
  // intact in its own slot.
  sockaddr_in sender{};
  int senderSize = sizeof sender;
  const int received =
      recvfrom(AsSocket(socket_), reinterpret_cast<char*>(slot.bytes.get()), static_cast<int>(Datagram::kCapacity), 0,
               reinterpret_cast<sockaddr*>(&sender), &senderSize);
  // Empty queue, or ICMP feedback for an earlier send: no datagram.
  if (received == SOCKET_ERROR) return;
  slot.length = static_cast<std::size_t>(received);
  slot.sender = ntohl(sender.sin_addr.s_addr);
  Deliver(slot);
}

}  // namespace artnet
