#include "platform/win32/lighting_interface.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

#include <vector>

namespace artnet::win32 {
namespace {

struct Candidate {
  std::uint32_t address;  // network byte order
  std::uint32_t mask;     // network byte order
  unsigned long index;
  bool loopback;
};

std::vector<Candidate> UpIPv4Addresses() {
  constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  std::vector<Candidate> found;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list may grow between the two calls; a few rounds settle it.
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result =
        GetAdaptersAddresses(AF_INET, kFlags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return found;
  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
       adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp) continue;
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const sockaddr* address = unicast->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      const unsigned prefix = unicast->OnLinkPrefixLength;
      const std::uint32_t hostMask = prefix == 0 ? 0 : prefix >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefix);
      found.push_back(Candidate{reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr, htonl(hostMask),
                                adapter->IfIndex, adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK});
    }
  }
  return found;
}

// The source address the system would pick for `destination`: connecting a
// UDP socket resolves the route without sending anything.
std::optional<std::uint32_t> RoutedSourceAddress(std::uint32_t destination) {
  const SOCKET probe = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (probe == INVALID_SOCKET) return std::nullopt;
  const BOOL on = TRUE;
  setsockopt(probe, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
             sizeof on);  // a broadcast route needs it
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = destination;
  remote.sin_port = htons(6454);
  std::optional<std::uint32_t> source;
  if (connect(probe, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
    sockaddr_in local{};
    int size = sizeof local;
    if (getsockname(probe, reinterpret_cast<sockaddr*>(&local), &size) == 0 && local.sin_addr.s_addr != 0) {
      source = local.sin_addr.s_addr;
    }
  }
  closesocket(probe);
  return source;
}

}  // namespace

std::optional<NetworkInterface> FindLightingInterface(const std::uint32_t* destination) {
  const std::vector<Candidate> candidates = UpIPv4Addresses();
  const auto chosen = [](const Candidate& c) { return NetworkInterface{c.address, c.index}; };
  if (destination != nullptr) {
    for (const Candidate& c : candidates) {
      if (c.mask != 0 && ((c.address ^ *destination) & c.mask) == 0) return chosen(c);
    }
    if (const auto source = RoutedSourceAddress(*destination)) {
      for (const Candidate& c : candidates) {
        if (c.address == *source) return chosen(c);
      }
    }
  }
  const Candidate* loopback = nullptr;
  for (const Candidate& c : candidates) {
    if (!c.loopback) return chosen(c);
    if (loopback == nullptr) loopback = &c;
  }
  if (loopback != nullptr) return chosen(*loopback);
  return std::nullopt;
}

}  // namespace artnet::win32
