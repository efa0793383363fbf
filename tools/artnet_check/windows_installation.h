#pragma once

#include <vector>

#include "check/installation_check.h"

namespace artnet::check {

// Where COM finds ArtNet.clsOutputDriver for a 32-bit and a 64-bit host:
// each scope in each registry view, and the files they name.
std::vector<HostRegistrations> ReadComRegistrations();

}  // namespace artnet::check
