#include "support.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "platform/win32/win32_event_pump.h"

namespace artnet::wtest {
namespace {

SOCKET AsSocket(std::uintptr_t handle) { return static_cast<SOCKET>(handle); }

void StartWinsock() {
  static const int started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  static_cast<void>(started);
}

std::deque<std::function<void()>>& Posted() {
  static std::deque<std::function<void()>> posted;
  return posted;
}

constexpr UINT kRunPosted = WM_APP + 40;

LRESULT CALLBACK PostedProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRunPosted) return DefWindowProcW(window, message, wParam, lParam);
  try {
    if (!Posted().empty()) {
      const auto action = std::move(Posted().front());
      Posted().pop_front();
      action();
    }
  } catch (...) {
  }
  return 0;
}

HWND PostedWindow() {
  static const HWND window = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &PostedProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ArtNetPlatformTestWindow";
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
  }();
  return window;
}

}  // namespace

bool Flag(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::strcmp(value, "1") == 0;
}

bool InTestNetns() { return Flag("ARTNET_TEST_NETNS"); }

void NetworkChange::Undo() {
  if (!applied_) return;
  applied_ = false;
  const char* drain = std::getenv("ARTNET_TEST_DRAIN_FILE");
  std::FILE* request = drain == nullptr ? nullptr : std::fopen(drain, "w");
  if (request == nullptr) {
    ADD_FAILURE() << "could not ask changed-network.sh to undo the change (ARTNET_TEST_DRAIN_FILE)";
    return;
  }
  std::fclose(request);
}

NetworkChange Routeless() { return NetworkChange("ARTNET_TEST_ROUTELESS"); }
NetworkChange MultiHomed() { return NetworkChange("ARTNET_TEST_MULTIHOMED"); }
NetworkChange SlowLink() { return NetworkChange("ARTNET_TEST_SLOW_LINK"); }

RawUdp::RawUdp(std::uint16_t port, const char* ip, bool share) {
  StartWinsock();
  const SOCKET handle = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  socket_ = static_cast<std::uintptr_t>(handle);
  if (handle == INVALID_SOCKET) return;
  const BOOL on = TRUE;
  setsockopt(handle, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
  if (share) setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  inet_pton(AF_INET, ip, &local.sin_addr);
  if (bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return;
  int size = sizeof local;
  if (getsockname(handle, reinterpret_cast<sockaddr*>(&local), &size) != 0) return;
  port_ = ntohs(local.sin_port);
  ok_ = true;
}

RawUdp::~RawUdp() {
  if (AsSocket(socket_) != INVALID_SOCKET) closesocket(AsSocket(socket_));
}

bool RawUdp::SendTo(const char* ip, std::uint16_t port, const std::string& text) {
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(port);
  if (inet_pton(AF_INET, ip, &remote.sin_addr) != 1) return false;
  return sendto(AsSocket(socket_), text.data(), static_cast<int>(text.size()), 0,
                reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == static_cast<int>(text.size());
}

std::optional<Received> RawUdp::Receive(int timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(AsSocket(socket_), &readable);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  if (select(0, &readable, nullptr, nullptr, &wait) != 1) return std::nullopt;
  char buffer[2048];
  sockaddr_in sender{};
  int size = sizeof sender;
  const int received =
      recvfrom(AsSocket(socket_), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &size);
  if (received < 0) return std::nullopt;
  Received got;
  got.bytes.assign(buffer, buffer + received);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
  got.senderIp = text;
  got.senderPort = ntohs(sender.sin_port);
  return got;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  Win32EventPump pump;
  const DWORD start = GetTickCount();
  for (;;) {
    pump.DoEvents();
    if (done()) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= static_cast<DWORD>(timeoutMs)) return done();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, timeoutMs - elapsed), QS_ALLINPUT);
  }
}

void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

void NestedLoop(int ms) {
  Win32EventPump pump;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    pump.DoEvents();
    pump.Sleep(5);
  }
}

void PostToLoop(std::function<void()> action) {
  Posted().push_back(std::move(action));
  PostMessageW(PostedWindow(), kRunPosted, 0, 0);
}

namespace {
int hostTicks = 0;
void CALLBACK HostTick(HWND, UINT, UINT_PTR, DWORD) { ++hostTicks; }
}  // namespace

HostTimer::HostTimer(int ms) : id_(SetTimer(nullptr, 0, static_cast<UINT>(ms), HostTick)) { hostTicks = 0; }
HostTimer::~HostTimer() { KillTimer(nullptr, id_); }
int HostTimer::ticks() const { return hostTicks; }

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

win32::MessageWindow& TestWindow() {
  static win32::MessageWindow window;
  return window;
}

}  // namespace artnet::wtest
