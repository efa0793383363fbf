#include "platform/core/ipv4.h"

namespace artnet {

std::optional<IPv4> ParseDottedIPv4(const std::string& text) {
  IPv4 address = 0;
  std::size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
    const std::size_t start = at;
    unsigned value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 3) {
      value = value * 10 + static_cast<unsigned>(text[at] - '0');
      ++at;
    }
    const std::size_t digits = at - start;
    if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return std::nullopt;
    address = (address << 8) | value;
  }
  if (at != text.size()) return std::nullopt;
  return address;
}

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
