#include "platform/core/ipv4.h"

namespace artnet {

std::string DottedIPv4(IPv4 address) {
  return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
         std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
}

std::optional<InterfaceAddress> ChooseLightingInterface(const std::vector<InterfaceAddress>& up,
                                                        std::optional<IPv4> destination,
                                                        const std::function<std::optional<IPv4>(IPv4)>& routedSource) {
  if (destination) {
    for (const InterfaceAddress& candidate : up) {
      if (candidate.mask != 0 && ((candidate.address ^ *destination) & candidate.mask) == 0) return candidate;
    }
    if (const auto source = routedSource(*destination)) {
      for (const InterfaceAddress& candidate : up) {
        if (candidate.address == *source) return candidate;
      }
    }
  }
  const InterfaceAddress* loopback = nullptr;
  for (const InterfaceAddress& candidate : up) {
    if (!candidate.loopback) return candidate;
    if (loopback == nullptr) loopback = &candidate;
  }
  if (loopback != nullptr) return *loopback;
  return std::nullopt;
}

}  // namespace artnet
