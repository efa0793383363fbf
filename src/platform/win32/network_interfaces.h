#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/core/ipv4.h"

namespace artnet::win32 {

// The IPv4 addresses of the interfaces that are up (GetAdaptersAddresses).
std::vector<InterfaceAddress> UpIPv4Interfaces();
// The source address the system picks for `destination`. Needs Winsock started.
std::optional<IPv4> RoutedSourceAddress(IPv4 destination);
// The interface's name as Windows shows it ("Ethernet 2"); empty when it is
// gone. In a file of its own, so the DLL, which does not need it, keeps its
// imports to the list checked against Windows 7.
std::string InterfaceName(unsigned index);

}  // namespace artnet::win32
