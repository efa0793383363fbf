#include "platform/win32/udp_port_holders.h"

// clang-format off
#include "platform/win32/windows_support.h"
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

namespace artnet::win32 {
namespace {

// The program's file name, without its folder; empty when the process will not say.
std::string ProcessName(DWORD pid) {
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  std::wstring path(MAX_PATH * 4, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process.Get(), 0, path.data(), &size)) return {};
  path.resize(size);
  const auto slash = path.find_last_of(L"\\/");
  return Narrow(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::vector<UdpPortHolder> UdpPortHolders(int port, std::string& problem) {
  std::vector<UdpPortHolder> holders;
  std::vector<unsigned char> buffer;
  DWORD size = 0;
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  // The table may grow between the two calls; a few rounds settle it.
  for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    buffer.resize(size);
    result =
        GetExtendedUdpTable(buffer.empty() ? nullptr : buffer.data(), &size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0);
  }
  if (result != NO_ERROR) {
    problem = "the system's UDP table cannot be read (error " + std::to_string(result) + ")";
    return holders;
  }
  const auto* table = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(buffer.data());
  bool unnamed = false;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_UDPROW_OWNER_PID& row = table->table[i];
    if (ntohs(static_cast<u_short>(row.dwLocalPort)) != port) continue;
    const std::string name = ProcessName(row.dwOwningPid);
    unnamed = unnamed || name.empty();
    holders.push_back({static_cast<unsigned>(row.dwOwningPid), name});
  }
  if (unnamed) problem = "a process of another user or of the system";
  return holders;
}

}  // namespace artnet::win32
