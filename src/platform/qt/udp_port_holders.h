#pragma once

#include <string>
#include <vector>

#include "platform/core/udp_port_holder.h"

namespace artnet {

// The processes whose IPv4 UDP sockets are bound to `port` (/proc). `problem`
// says why some could not be named (sockets of another user's processes).
std::vector<UdpPortHolder> UdpPortHolders(int port, std::string& problem);

}  // namespace artnet
