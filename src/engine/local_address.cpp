#include "engine/local_address.h"

#include <string_view>
#include <vector>

#include "engine/module_state.h"
#include "engine/transport.h"
#include "protocol/automation_error.h"
#include "protocol/conversions.h"

namespace artnet {

void StoreLocalAddress(const std::string& text, std::array<std::uint8_t, 4>& octets) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = text.find('.', start);
    parts.emplace_back(std::string_view(text).substr(start, dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  for (std::size_t i = 0; i < 4; ++i) {
    if (i >= parts.size()) RaiseSubscriptOutOfRange();
    octets[i] = RoundToByte(LeadingNumber(parts[i]));
  }
}

namespace {

// Reads the lighting interface's address for the broadcast address; loopback
// stands in when nothing else is up.
std::string LightingAddress(ModuleState& mod) {
  const std::optional<IPv4> broadcast = mod.Settings.BroadcastAddress.Address();
  std::string localIp;
  const int error = mod.Network->socket().LocalAddressTowards(broadcast, localIp);
  if (error != 0) throw AutomationError(error, "The local address could not be read");
  // A broadcast address on loopback itself makes loopback the real choice.
  const bool loopbackWanted = broadcast && *broadcast >> 24 == 127;
  mod.LocalAddressIsStandIn = localIp.rfind("127.", 0) == 0 && !loopbackWanted;
  return localIp;
}

}  // namespace

void CaptureLocalAddress(ModuleState& mod) {
  StoreLocalAddress(LightingAddress(mod), mod.LocalAddress.ip);
  mod.LocalAddress.port = kArtNetPort;
}

void RecaptureStandInLocalAddress(ModuleState& mod) {
  if (!mod.LocalAddressIsStandIn) return;
  try {
    std::array<std::uint8_t, 4> octets{};
    StoreLocalAddress(LightingAddress(mod), octets);
    mod.LocalAddress.ip = octets;
  } catch (...) {
    // Still nothing better than loopback: keep it and look again next time.
    mod.LocalAddressIsStandIn = true;
  }
}

}  // namespace artnet
