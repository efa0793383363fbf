// ArtNetCheck.exe: says why the plug-in has no output or no input on this PC.
// clang-format off
#include "platform/win32/windows_support.h"
#include <winsock2.h>
// clang-format on

#include <cstdio>
#include <optional>
#include <string>

#include "check/command_line.h"
#include "check/run_check.h"
#include "platform/win32/message_window.h"
#include "platform/win32/network_interfaces.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/udp_port_holders.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_datagram_socket.h"
#include "platform/win32/win32_event_pump.h"
#include "windows_installation.h"

namespace {

using namespace artnet;

class WindowsCheckSystem final : public check::CheckSystem {
 public:
  WindowsCheckSystem(std::string title, std::string file)
      : title_(std::move(title)), file_(std::move(file)), socket_(window_) {}

  std::string ToolName() override { return "ArtNet Check " ARTNET_VERSION " (Windows)"; }
  std::optional<std::vector<check::HostRegistrations>> Installation() override { return check::ReadComRegistrations(); }
  SettingsStore& Settings() override { return store_; }

  check::SettingsSource WhereSettingsAre() override {
    const std::string path = RegistrySettingsStore::KeyPath(title_, std::string("Plugins\\") + file_);
    check::SettingsSource source{title_, file_, "HKEY_CURRENT_USER\\" + path, {}};
    HKEY opened = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, win32::Wide(path).c_str(), 0, KEY_READ, &opened);
    if (status == ERROR_SUCCESS) {
      RegCloseKey(opened);
    } else if (status != ERROR_FILE_NOT_FOUND) {
      source.readError = "registry error " + std::to_string(status);
    }
    return source;
  }

  check::NetworkView Network() override {
    check::NetworkView view{{}, win32::RoutedSourceAddress};
    for (const InterfaceAddress& address : win32::UpIPv4Interfaces()) {
      view.up.push_back({address, win32::InterfaceName(address.index)});
    }
    return view;
  }

  DatagramSocket& Socket() override { return socket_; }
  std::vector<UdpPortHolder> HoldersOfPort(int port, std::string& problem) override {
    return win32::UdpPortHolders(port, problem);
  }
  EventPump& Pump() override { return pump_; }
  Clock& GetClock() override { return clock_; }

 private:
  std::string title_;
  std::string file_;
  win32::MessageWindow window_;
  Win32DatagramSocket socket_;
  RegistrySettingsStore store_;
  Win32EventPump pump_;
  Win32Clock clock_;
};

constexpr check::Program kProgram{"ArtNetCheck",
                                  "Checks ArtNet.dll's installation and settings, this PC's network, UDP port\n"
                                  "6454 and the Art-Net nodes and DMX on the wire (one ArtPoll, 3 s of listening).\n",
                                  "ArtNet.dll"};

// Started from the Start menu, the console window is the check's own and
// would close with it before the owner could read the report.
void KeepOwnWindowOpen() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  std::fputs("\nPress Enter to close this window.\n", stdout);
  std::fflush(stdout);
  std::getchar();
}

}  // namespace

int main(int argc, char** argv) {
  check::CommandLine line;
  if (const std::optional<int> exitCode = check::ParseCommandLine(kProgram, argc, argv, line)) return *exitCode;
  WSADATA winsock{};
  WSAStartup(MAKEWORD(2, 2), &winsock);  // the route lookup needs it before any socket exists
  SetConsoleOutputCP(CP_UTF8);
  WindowsCheckSystem system(line.title, line.pluginFile);
  const int exitCode = check::PrintReport(check::RunCheck(system), line.json);
  if (!line.json) KeepOwnWindowOpen();
  return exitCode;
}
