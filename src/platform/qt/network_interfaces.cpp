#include "platform/qt/network_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

namespace artnet {
namespace {

IPv4 AddressOf(const sockaddr* address) {
  return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

}  // namespace

std::vector<InterfaceAddress> UpIPv4Interfaces() {
  std::vector<InterfaceAddress> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return found;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_UP) == 0) {
      continue;
    }
    found.push_back(InterfaceAddress{AddressOf(entry->ifa_addr),
                                     entry->ifa_netmask != nullptr ? AddressOf(entry->ifa_netmask) : 0,
                                     ::if_nametoindex(entry->ifa_name), (entry->ifa_flags & IFF_LOOPBACK) != 0});
  }
  ::freeifaddrs(list);
  return found;
}

// Connecting a UDP socket resolves the route without sending anything.
std::optional<IPv4> RoutedSourceAddress(IPv4 destination) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);  // a broadcast route needs it
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = htonl(destination);
  remote.sin_port = htons(6454);
  std::optional<IPv4> source;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0 && local.sin_addr.s_addr != 0) {
      source = ntohl(local.sin_addr.s_addr);
    }
  }
  ::close(fd);
  return source;
}

std::string InterfaceName(unsigned index) {
  char name[IF_NAMESIZE] = {};
  return ::if_indextoname(index, name) != nullptr ? std::string(name) : std::string();
}

}  // namespace artnet
