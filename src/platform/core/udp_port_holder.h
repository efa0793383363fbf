#pragma once

#include <string>

namespace artnet {

// A process that holds a UDP port, as the system lists it.
struct UdpPortHolder {
  unsigned pid = 0;
  std::string name;  // empty when the system would not tell
};

}  // namespace artnet
