// artnet-check: says why the plug-in has no output or no input on this PC.
#include <QCoreApplication>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "check/command_line.h"
#include "check/run_check.h"
#include "platform/qt/ini_settings_store.h"
#include "platform/qt/network_interfaces.h"
#include "platform/qt/qt_datagram_socket.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/udp_port_holders.h"

namespace {

using namespace artnet;

class LinuxCheckSystem final : public check::CheckSystem {
 public:
  LinuxCheckSystem(std::string title, std::string file) : title_(std::move(title)), file_(std::move(file)) {}

  std::string ToolName() override { return "ArtNet Check " ARTNET_VERSION " (Linux)"; }
  std::optional<std::vector<check::HostRegistrations>> Installation() override { return std::nullopt; }
  SettingsStore& Settings() override { return store_; }

  check::SettingsSource WhereSettingsAre() override {
    check::SettingsSource source{title_, file_, IniSettingsStore::FilePath(), {}};
    std::ifstream file(source.location);
    if (!file && errno != ENOENT) source.readError = std::strerror(errno);
    return source;
  }

  check::NetworkView Network() override {
    check::NetworkView view{{}, RoutedSourceAddress};
    for (const InterfaceAddress& address : UpIPv4Interfaces())
      view.up.push_back({address, InterfaceName(address.index)});
    return view;
  }

  DatagramSocket& Socket() override { return socket_; }
  std::vector<UdpPortHolder> HoldersOfPort(int port, std::string& problem) override {
    return UdpPortHolders(port, problem);
  }
  EventPump& Pump() override { return pump_; }
  Clock& GetClock() override { return clock_; }

 private:
  std::string title_;
  std::string file_;
  IniSettingsStore store_;
  QtDatagramSocket socket_;
  QtEventPump pump_;
  SystemClock clock_;
};

constexpr check::Program kProgram{"artnet-check",
                                  "Checks the ArtNet plug-in's settings, this PC's network, UDP port 6454 and\n"
                                  "the Art-Net nodes and DMX on the wire (it sends one ArtPoll and listens 3 s).\n",
                                  "libArtNet.so"};

}  // namespace

int main(int argc, char** argv) {
  check::CommandLine line;
  if (const std::optional<int> exitCode = check::ParseCommandLine(kProgram, argc, argv, line)) return *exitCode;
  QCoreApplication app(argc, argv);
  LinuxCheckSystem system(line.title, line.pluginFile);
  return check::PrintReport(check::RunCheck(system), line.json);
}
