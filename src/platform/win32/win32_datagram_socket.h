#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/datagram_socket_core.h"
#include "platform/win32/message_window.h"

namespace artnet {

// A UDP datagram socket over Winsock2, its events (WSAAsyncSelect) delivered
// by the platform's hidden window, which outlives it, through the thread's
// message loop. Winsock's error numbers are the socket's numbers.
class Win32DatagramSocket : public DatagramSocketCore, private win32::WindowClient {
 public:
  explicit Win32DatagramSocket(win32::MessageWindow& window);
  ~Win32DatagramSocket() override;

 private:
  bool IsOpen() const override { return socket_ != kNoSocket; }
  int OpenSocket(int port) override;
  void CloseSocket() override;
  int SystemSendTo(IPv4 address, int port, std::span<const std::uint8_t> packet) override;
  int SendThrough(unsigned interfaceIndex, IPv4 address, int port, std::span<const std::uint8_t> packet) override;
  void WatchWritable() override { writableWanted_ = true; }  // FD_WRITE follows once the socket can take data
  std::vector<InterfaceAddress> UpInterfaces() override;
  std::optional<IPv4> RoutedSource(IPv4 destination) override;
  // An FD_READ left unread raises no other until a read: nothing to pause.
  void PauseReading() override {}
  void ResumeReading() override;

  void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void OnReadable();
  void OnWritable();

  // A SOCKET, kept as a number here so <winsock2.h> stays out of the header.
  static constexpr std::uintptr_t kNoSocket = ~std::uintptr_t{0};  // INVALID_SOCKET
  std::uintptr_t socket_ = kNoSocket;
  win32::MessageWindow* window_;
  std::uintptr_t resumeKey_;
  bool writableWanted_ = false;  // a send was refused; Writable is owed
  // One datagram slot per nesting depth of the receive handler, made when first needed.
  std::vector<std::unique_ptr<Datagram>> slots_;
};

}  // namespace artnet
