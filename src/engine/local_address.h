#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace artnet {

class ModuleState;

// Captures the lighting interface's address for the broadcast address into
// the module's local address record; loopback stands in when nothing else
// is up. Throws AutomationError when the address cannot be read.
void CaptureLocalAddress(ModuleState& mod);

// Where loopback stood in for the local address at Enable (no link was up),
// captures it again; called by each refresh until a real address exists.
void RecaptureStandInLocalAddress(ModuleState& mod);

// Stores the four octets of a dotted local address, one at a time. Fewer
// than four parts -> subscript out of range (9); a part above 255 ->
// overflow (6), with the earlier octets already stored.
void StoreLocalAddress(const std::string& text, std::array<std::uint8_t, 4>& octets);

}  // namespace artnet
