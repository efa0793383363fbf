#pragma once

#include <optional>
#include <string>
#include <vector>

#include "check/installation_check.h"
#include "check/network_check.h"
#include "check/port_check.h"
#include "check/report.h"
#include "check/settings_check.h"
#include "platform/interfaces/clock.h"
#include "platform/interfaces/datagram_socket.h"
#include "platform/interfaces/event_pump.h"
#include "platform/interfaces/settings_store.h"

namespace artnet::check {

// What the check needs from the PC, through the platform code the plug-in uses.
class CheckSystem {
 public:
  virtual ~CheckSystem() = default;

  virtual std::string ToolName() = 0;
  // Where COM finds the plug-in, per host bitness; none where there is no COM.
  virtual std::optional<std::vector<HostRegistrations>> Installation() = 0;
  virtual SettingsStore& Settings() = 0;
  virtual SettingsSource WhereSettingsAre() = 0;
  virtual NetworkView Network() = 0;
  // A socket of the plug-in's platform, closed.
  virtual DatagramSocket& Socket() = 0;
  virtual std::vector<UdpPortHolder> HoldersOfPort(int port, std::string& problem) = 0;
  virtual EventPump& Pump() = 0;
  virtual Clock& GetClock() = 0;
};

// Every section in order; a section that fails to run says so in the report
// instead of ending the check.
Report RunCheck(CheckSystem& system);

}  // namespace artnet::check
