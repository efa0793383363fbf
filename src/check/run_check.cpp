#include "check/run_check.h"

#include <exception>

#include "check/wire_check.h"
#include "protocol/node_config.h"

namespace artnet::check {
namespace {

template <typename Body>
void Guarded(Report& report, const char* title, Body body) {
  try {
    body();
  } catch (const std::exception& error) {
    Section failed{title, {}, {}};
    failed.Error(std::string("This part of the check could not be done: ") + error.what() + '.',
                 "Send this report with your support request.");
    report.sections.push_back(std::move(failed));
  }
}

}  // namespace

Report RunCheck(CheckSystem& system) {
  Report report;
  report.tool = system.ToolName();
  Guarded(report, "Installation", [&] {
    if (const auto hosts = system.Installation()) report.sections.push_back(CheckInstallation(*hosts));
  });
  PluginSettings settings;
  Guarded(report, "Settings",
          [&] { report.sections.push_back(CheckSettings(system.Settings(), system.WhereSettingsAre(), settings)); });
  Guarded(report, "Network", [&] {
    std::optional<InterfaceAddress> chosen;
    report.sections.push_back(CheckNetwork(system.Network(), settings.destination, chosen));
  });
  PortState port;
  DatagramSocket& socket = system.Socket();
  Guarded(report, "Port 6454", [&] {
    port.openError = socket.Open(kArtNetPort);
    if (port.openError == kSockErrAddressInUse) port.holders = system.HoldersOfPort(kArtNetPort, port.lookupProblem);
    report.sections.push_back(CheckPort(port));
  });
  Guarded(report, "On the wire", [&] {
    // Without the Art-Net port, a port of any number still sends the poll.
    if (port.openError != kSockOk) {
      if (const int error = socket.Open(0); error != kSockOk) {
        Section refused{"On the wire", {}, {}};
        refused.Error("No UDP socket could be opened (error " + std::to_string(error) +
                          "), so nothing was sent or heard; the plug-in would fare no better.",
                      "Check the firewall or security software for rules on UDP.");
        report.sections.push_back(std::move(refused));
        return;
      }
    }
    WireProbe probe{socket, system.Pump(), system.GetClock(), port.openError == kSockOk};
    WireSections heard = CheckWire(probe, settings);
    socket.Close();
    report.sections.push_back(std::move(heard.nodes));
    report.sections.push_back(std::move(heard.dmx));
  });
  return report;
}

}  // namespace artnet::check
