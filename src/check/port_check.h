#pragma once

#include <string>
#include <vector>

#include "check/report.h"
#include "platform/core/udp_port_holder.h"

namespace artnet::check {

using PortHolder = UdpPortHolder;

// What opening the Art-Net port found: the socket's error number (0: free)
// and whoever holds it.
struct PortState {
  int openError = 0;
  std::vector<PortHolder> holders;
  std::string lookupProblem;  // why the holders could not be listed; empty when they could
};

Section CheckPort(const PortState& port);

}  // namespace artnet::check
