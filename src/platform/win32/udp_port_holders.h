#pragma once

#include <string>
#include <vector>

#include "platform/core/udp_port_holder.h"

namespace artnet::win32 {

// The processes whose IPv4 UDP sockets are bound to `port` (the system's UDP
// table). `problem` says why the table or a name could not be read.
std::vector<UdpPortHolder> UdpPortHolders(int port, std::string& problem);

}  // namespace artnet::win32
