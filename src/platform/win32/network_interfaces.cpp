#include "platform/win32/network_interfaces.h"

// clang-format off
#include "platform/win32/windows_support.h"
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

namespace artnet::win32 {

std::vector<InterfaceAddress> UpIPv4Interfaces() {
  constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  std::vector<InterfaceAddress> found;
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
      const IPv4 mask = prefix == 0 ? 0 : prefix >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefix);
      found.push_back(InterfaceAddress{ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr), mask,
                                       static_cast<unsigned>(adapter->IfIndex),
                                       adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK});
    }
  }
  return found;
}

// Connecting a UDP socket resolves the route without sending anything.
std::optional<IPv4> RoutedSourceAddress(IPv4 destination) {
  const UniqueSocket probe(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!probe) return std::nullopt;
  const BOOL on = TRUE;
  // A broadcast route needs it.
  setsockopt(probe.Get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = htonl(destination);
  remote.sin_port = htons(6454);
  if (connect(probe.Get(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) return std::nullopt;
  sockaddr_in local{};
  int size = sizeof local;
  if (getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&local), &size) != 0 || local.sin_addr.s_addr == 0) {
    return std::nullopt;
  }
  return ntohl(local.sin_addr.s_addr);
}

}  // namespace artnet::win32
