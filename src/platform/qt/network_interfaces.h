#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/core/ipv4.h"

namespace artnet {

// The IPv4 addresses of the interfaces that are up (getifaddrs).
std::vector<InterfaceAddress> UpIPv4Interfaces();
// The source address the kernel picks for `destination`.
std::optional<IPv4> RoutedSourceAddress(IPv4 destination);
// The interface's name ("eth0"); empty when it is gone.
std::string InterfaceName(unsigned index);

}  // namespace artnet
