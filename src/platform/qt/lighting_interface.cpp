#include "platform/qt/lighting_interface.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

namespace artnet {
namespace {

bool IsUpIPv4(const ifaddrs& entry) {
  return entry.ifa_addr != nullptr && entry.ifa_addr->sa_family == AF_INET && (entry.ifa_flags & IFF_UP) != 0;
}

in_addr AddressOf(const sockaddr* address) { return reinterpret_cast<const sockaddr_in*>(address)->sin_addr; }

bool NetworkHolds(const ifaddrs& entry, in_addr destination) {
  if (entry.ifa_netmask == nullptr) return false;
  const in_addr_t mask = AddressOf(entry.ifa_netmask).s_addr;
  return mask != 0 && ((AddressOf(entry.ifa_addr).s_addr ^ destination.s_addr) & mask) == 0;
}

// The source address the kernel would pick for `destination`: connecting a
// UDP socket resolves the route without sending anything.
std::optional<in_addr> RoutedSourceAddress(in_addr destination) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);  // a broadcast route needs it
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr = destination;
  remote.sin_port = htons(6454);
  std::optional<in_addr> source;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0) source = local.sin_addr;
  }
  ::close(fd);
  return source;
}

const ifaddrs* Choose(const ifaddrs* list, const in_addr* destination) {
  if (destination != nullptr) {
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
      if (IsUpIPv4(*entry) && NetworkHolds(*entry, *destination)) return entry;
    }
    if (const auto source = RoutedSourceAddress(*destination)) {
      for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (IsUpIPv4(*entry) && AddressOf(entry->ifa_addr).s_addr == source->s_addr) return entry;
      }
    }
  }
  const ifaddrs* loopback = nullptr;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (!IsUpIPv4(*entry)) continue;
    if ((entry->ifa_flags & IFF_LOOPBACK) == 0) return entry;
    if (loopback == nullptr) loopback = entry;
  }
  return loopback;
}

}  // namespace

std::optional<NetworkInterface> FindLightingInterface(const in_addr* destination) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return std::nullopt;
  std::optional<NetworkInterface> found;
  if (const ifaddrs* chosen = Choose(list, destination)) {
    found = NetworkInterface{AddressOf(chosen->ifa_addr), ::if_nametoindex(chosen->ifa_name)};
  }
  ::freeifaddrs(list);
  return found;
}

}  // namespace artnet
