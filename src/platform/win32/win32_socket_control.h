#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/socket_control.h"
#include "platform/win32/message_window.h"

namespace artnet {

// A UDP socket control over Winsock2, its events (WSAAsyncSelect) delivered
// by the hidden window through the thread's message loop. Winsock's error
// numbers are the control's numbers.
class Win32SocketControl final : public SocketControl, private win32::WindowClient {
 public:
  Win32SocketControl();
  ~Win32SocketControl() override;
  Win32SocketControl(const Win32SocketControl&) = delete;
  Win32SocketControl& operator=(const Win32SocketControl&) = delete;

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
  // One received datagram: the one a handler at some nesting depth is handling.
  struct Slot {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t length = 0;
    std::uint32_t sender = 0;  // IPv4, network byte order
  };

  int Open(int port);
  // sendto, or through the lighting interface for a limited broadcast that
  // has no route. Returns the Winsock error, 0 when sent.
  int Transmit(std::uint32_t address, std::span<const std::uint8_t> packet);
  int TransmitThrough(unsigned long interfaceIndex, const void* remote, std::span<const std::uint8_t> packet);
  void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void OnReadable();
  void OnWritable();

  static constexpr std::uintptr_t kNoSocket = ~std::uintptr_t{0};  // INVALID_SOCKET
  std::uintptr_t socket_ = kNoSocket;
  win32::MessageWindow* window_ = nullptr;
  std::uintptr_t resumeKey_ = 0;
  // Interface a routeless 255.255.255.255 last left through; found again
  // when it fails or the socket is re-opened.
  unsigned long broadcastInterface_ = 0;
  int localPort_ = 0;
  int boundPort_ = 0;
  int remotePort_ = 0;
  std::string remoteHost_;
  // remoteHost_ parsed once when it is set, not on every send.
  std::uint32_t remoteAddress_ = 0;
  bool remoteAddressValid_ = false;
  bool writableWanted_ = false;  // a send was refused; Writable is owed
  std::shared_ptr<const std::function<void()>> handler_;
  std::shared_ptr<const std::function<void()>> writableHandler_;

  // The datagram whose DataArrival is running; the innermost one while
  // handlers nest.
  const Slot* current_ = nullptr;
  // One slot per nesting depth of DataArrival, made when first needed.
  std::vector<std::unique_ptr<Slot>> slots_;
  int depth_ = 0;
  // A notification came while the deepest level ran; reading resumes once
  // it has returned.
  bool resumeOwed_ = false;
  // Lets a read loop notice that a handler destroyed the control.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace artnet
