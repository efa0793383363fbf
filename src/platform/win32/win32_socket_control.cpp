#include "platform/win32/win32_socket_control.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <cstring>

#include "platform/win32/lighting_interface.h"

namespace artnet {
namespace {

constexpr std::size_t kReceiveBufferSize = 65536;  // larger than any UDP/IPv4 datagram

// Started once for the process and never cleaned up: sockets may live until it ends.
int StartWinsock() {
  static const int result = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

// Strict dotted IPv4 (four decimal parts 0..255, no leading zeros, nothing
// else); a host name would mean a blocking lookup on the UI thread.
bool ParseDotted(const std::string& text, std::uint32_t& address) {
  std::uint32_t host = 0;
  std::size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return false;
      ++at;
    }
    const std::size_t start = at;
    unsigned value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 3) {
      value = value * 10 + static_cast<unsigned>(text[at] - '0');
      ++at;
    }
    const std::size_t digits = at - start;
    if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return false;
    host = (host << 8) | value;
  }
  if (at != text.size()) return false;
  address = htonl(host);
  return true;
}

std::string DottedText(std::uint32_t address) {
  const std::uint32_t host = ntohl(address);
  return std::to_string(host >> 24) + '.' + std::to_string((host >> 16) & 0xFF) + '.' +
         std::to_string((host >> 8) & 0xFF) + '.' + std::to_string(host & 0xFF);
}

SOCKET AsSocket(std::uintptr_t handle) { return static_cast<SOCKET>(handle); }

}  // namespace

Win32SocketControl::Win32SocketControl() = default;

Win32SocketControl::~Win32SocketControl() {
  *alive_ = false;
  Close();
  if (window_ != nullptr) window_->Detach(win32::kResumeMessage, resumeKey_);
}

int Win32SocketControl::GetState(int& state) {
  state = socket_ != kNoSocket ? kSockStateOpen : kSockStateClosed;
  return kSockOk;
}

int Win32SocketControl::Close() {
  if (socket_ == kNoSocket) return kSockOk;
  window_->Detach(win32::kSocketMessage, socket_);
  const std::uintptr_t handle = socket_;
  socket_ = kNoSocket;
  writableWanted_ = false;
  // The socket is gone whatever closesocket reports; its events still
  // queued find no client.
  closesocket(AsSocket(handle));
  return kSockOk;
}

int Win32SocketControl::SetLocalPort(int port) {
  if (port < 0 || port > 65535) return kSockErrInvalid;
  localPort_ = port;
  return kSockOk;
}

int Win32SocketControl::GetLocalPort(int& port) {
  port = socket_ == kNoSocket ? localPort_ : boundPort_;
  return kSockOk;
}

int Win32SocketControl::SetRemotePort(int port) {
  if (port < 0 || port > 65535) return kSockErrInvalid;
  remotePort_ = port;
  return kSockOk;
}

int Win32SocketControl::SetRemoteHost(const std::string& host) {
  if (host == remoteHost_) return kSockOk;
  remoteHost_ = host;
  remoteAddressValid_ = ParseDotted(remoteHost_, remoteAddress_);
  return kSockOk;
}

int Win32SocketControl::Open(int port) {
  if (const int error = StartWinsock(); error != 0) return error;
  if (window_ == nullptr) {
    window_ = win32::MessageWindow::Get();
    if (window_ == nullptr) return WSAENOBUFS;
    resumeKey_ = window_->NewKey();
    window_->Attach(win32::kResumeMessage, resumeKey_, this);
  }
  const SOCKET handle = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (handle == INVALID_SOCKET) return WSAGetLastError();
  const auto fail = [handle] {
    const int error = WSAGetLastError();
    closesocket(handle);
    return error;
  };

  // Nobody else may take the port over with SO_REUSEADDR; a system without
  // the option still refuses a second plain bind.
  const BOOL on = TRUE;
  setsockopt(handle, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  // Broadcast destinations must work without the caller asking.
  if (setsockopt(handle, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0) return fail();
  // Otherwise an ICMP "port unreachable" for an earlier send fails a later
  // receive with WSAECONNRESET. Not every system knows the option.
  BOOL reportReset = FALSE;
  DWORD returned = 0;
  WSAIoctl(handle, SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &returned, nullptr, nullptr);

  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<u_short>(port));
  if (bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return fail();
  int boundPort = port;
  if (boundPort == 0) {
    sockaddr_in bound{};
    int size = sizeof bound;
    if (getsockname(handle, reinterpret_cast<sockaddr*>(&bound), &size) != 0) return fail();
    boundPort = ntohs(bound.sin_port);
  }
  const auto key = static_cast<std::uintptr_t>(handle);
  window_->Attach(win32::kSocketMessage, key, this);
  // Also makes the socket non-blocking.
  if (WSAAsyncSelect(handle, static_cast<HWND>(window_->Handle()), win32::kSocketMessage, FD_READ | FD_WRITE) != 0) {
    window_->Detach(win32::kSocketMessage, key);
    return fail();
  }

  socket_ = key;
  boundPort_ = boundPort;
  broadcastInterface_ = 0;
  writableWanted_ = false;
  return kSockOk;
}

int Win32SocketControl::Bind(int port) {
  if (socket_ != kNoSocket) return kSockErrWrongState;
  if (port < 0 || port > 65535) return kSockErrInvalid;
  localPort_ = port;
  return Open(port);
}

int Win32SocketControl::SendData(std::span<const std::uint8_t> packet) {
  if (socket_ == kNoSocket) {
    const int error = Open(localPort_);
    if (error != kSockOk) return error;
  }
  if (!remoteAddressValid_) return kSockErrHostNotFound;
  if (remotePort_ <= 0) return kSockErrAddressNotAvail;
  const int error = Transmit(remoteAddress_, packet);
  // FD_WRITE follows once the socket can take data again.
  if (error == WSAEWOULDBLOCK) writableWanted_ = true;
  return error;
}

int Win32SocketControl::Transmit(std::uint32_t address, std::span<const std::uint8_t> packet) {
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = address;
  remote.sin_port = htons(static_cast<u_short>(remotePort_));
  const int sent =
      sendto(AsSocket(socket_), reinterpret_cast<const char*>(packet.data()), static_cast<int>(packet.size()), 0,
             reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  if (sent != SOCKET_ERROR) return 0;
  const int error = WSAGetLastError();
  // A flat lighting network has no default route. Windows sends
  // 255.255.255.255 anyway; where the system routes even that (Wine on
  // Linux), name the interface instead.
  if (error != WSAENETUNREACH || address != htonl(INADDR_BROADCAST)) return error;
  if (broadcastInterface_ != 0) {
    const int cachedError = TransmitThrough(broadcastInterface_, &remote, packet);
    if (cachedError == 0 || cachedError == WSAEWOULDBLOCK) return cachedError;
  }
  const auto lighting = win32::FindLightingInterface(&address);
  if (!lighting || lighting->index == 0) return error;
  broadcastInterface_ = lighting->index;
  return TransmitThrough(broadcastInterface_, &remote, packet);
}

int Win32SocketControl::TransmitThrough(unsigned long interfaceIndex, const void* remote,
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
  const int sent = sendto(handle, reinterpret_cast<const char*>(packet.data()), static_cast<int>(packet.size()), 0,
                          static_cast<const sockaddr*>(remote), sizeof(sockaddr_in));
  const int error = sent == SOCKET_ERROR ? WSAGetLastError() : 0;
  const DWORD any = 0;
  setsockopt(handle, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&any), sizeof any);
  return error;
}

void Win32SocketControl::OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (message == win32::kResumeMessage) {
    OnReadable();
    return;
  }
  if (wParam != socket_) return;
  const auto event = WSAGETSELECTEVENT(lParam);
  if ((event & FD_READ) != 0) OnReadable();
  if ((event & FD_WRITE) != 0) OnWritable();
}

void Win32SocketControl::OnWritable() {
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
  if (!writableHandler_ || !*writableHandler_) return;
  const std::shared_ptr<const std::function<void()>> handler = writableHandler_;
  try {
    (*handler)();
  } catch (...) {
    // The message loop is no place for an exception.
  }
}

void Win32SocketControl::OnReadable() {
  if (socket_ == kNoSocket) return;
  // A handler pumping messages (a host helper that yields to its loop) would
  // otherwise go one level deeper per datagram until the stack overflows.
  // The datagram stays in the socket; unread, it raises no further FD_READ
  // until the level below finishes and resumes reading.
  if (depth_ >= kMaxDeliveryDepth) {
    resumeOwed_ = true;
    return;
  }
  const std::shared_ptr<bool> alive = alive_;
  if (slots_.size() <= static_cast<std::size_t>(depth_)) {
    auto slot = std::make_unique<Slot>();
    slot->bytes.reset(new std::uint8_t[kReceiveBufferSize]);
    slots_.push_back(std::move(slot));
  }
  Slot* const slot = slots_[static_cast<std::size_t>(depth_)].get();

  // One datagram per notification: the receive re-enables FD_READ, and
  // Winsock posts one more while datagrams wait, so the queue holds at most
  // one read message and host calls and timers queued behind it get their
  // turn after each datagram. The outer datagram of a nested level stays
  // intact in its own slot.
  sockaddr_in sender{};
  int senderSize = sizeof sender;
  const int received =
      recvfrom(AsSocket(socket_), reinterpret_cast<char*>(slot->bytes.get()), static_cast<int>(kReceiveBufferSize), 0,
               reinterpret_cast<sockaddr*>(&sender), &senderSize);
  // Empty queue, or ICMP feedback for an earlier send: no datagram.
  if (received == SOCKET_ERROR) return;
  slot->length = static_cast<std::size_t>(received);
  slot->sender = sender.sin_addr.s_addr;

  const Slot* const previous = current_;
  current_ = slot;
  ++depth_;
  // Held by a second reference: the handler may replace itself.
  const std::shared_ptr<const std::function<void()>> handler = handler_;
  if (handler && *handler) {
    try {
      (*handler)();
    } catch (...) {
      // The message loop is no place for an exception; the datagram is dropped.
    }
  }
  if (!*alive) return;
  --depth_;
  current_ = previous;

  // Owed to whichever socket is open now: the handler may have re-opened it.
  if (resumeOwed_ && socket_ != kNoSocket) {
    resumeOwed_ = false;
    window_->PostResume(resumeKey_);
  }
}

int Win32SocketControl::GetData(std::span<std::uint8_t> out, std::size_t& length) {
  length = 0;
  if (current_ == nullptr) return kSockErrNoData;
  length = std::min(out.size(), current_->length);
  if (length > 0) std::memcpy(out.data(), current_->bytes.get(), length);
  return kSockOk;
}

int Win32SocketControl::GetRemoteHostIP(std::string& ip) {
  if (current_ == nullptr) {
    ip.clear();
    return kSockErrNoData;
  }
  ip = DottedText(current_->sender);
  return kSockOk;
}

int Win32SocketControl::GetLocalIP(const std::string& towards, std::string& ip) {
  if (const int error = StartWinsock(); error != 0) return error;
  std::uint32_t destination = 0;
  const bool valid = ParseDotted(towards, destination);
  const auto lighting = win32::FindLightingInterface(valid ? &destination : nullptr);
  if (!lighting) return kSockErrAddressNotAvail;
  ip = DottedText(lighting->address);
  return kSockOk;
}

void Win32SocketControl::SetDataArrivalHandler(std::function<void()> handler) {
  handler_ = std::make_shared<const std::function<void()>>(std::move(handler));
}

void Win32SocketControl::SetWritableHandler(std::function<void()> handler) {
  writableHandler_ = std::make_shared<const std::function<void()>>(std::move(handler));
}

}  // namespace artnet
