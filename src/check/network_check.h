#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "check/report.h"
#include "platform/core/ipv4.h"

namespace artnet::check {

// An interface address with the name the owner knows the interface by.
struct NamedInterface {
  InterfaceAddress address;
  std::string name;
};

// What the platform tells about the PC's network, through the plug-in's own calls.
struct NetworkView {
  std::vector<NamedInterface> up;
  std::function<std::optional<IPv4>(IPv4)> routedSource;
};

// Lists the interfaces and picks the lighting interface for `destination`
// with the plug-in's own choice; `chosen` receives it when there is one
// other than loopback (or loopback asked for by a 127.x address).
Section CheckNetwork(const NetworkView& network, std::optional<IPv4> destination,
                     std::optional<InterfaceAddress>& chosen);

}  // namespace artnet::check
