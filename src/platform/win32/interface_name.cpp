#include "platform/win32/network_interfaces.h"

// clang-format off
#include "platform/win32/windows_support.h"
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

namespace artnet::win32 {

std::string InterfaceName(unsigned index) {
  NET_LUID luid{};
  if (ConvertInterfaceIndexToLuid(index, &luid) != NO_ERROR) return {};
  wchar_t alias[NDIS_IF_MAX_STRING_SIZE + 1] = {};
  if (ConvertInterfaceLuidToAlias(&luid, alias, NDIS_IF_MAX_STRING_SIZE + 1) != NO_ERROR) return {};
  return Narrow(alias);
}

}  // namespace artnet::win32
