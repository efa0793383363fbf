#include "windows_installation.h"

// clang-format off
#include "platform/win32/windows_support.h"
#include <winver.h>
// clang-format on

namespace artnet::check {
namespace {

using win32::Narrow;

constexpr const wchar_t* kServerKey =
    L"Software\\Classes\\CLSID\\{066E50C0-E469-4227-A951-B91286146B07}\\InprocServer32";

std::string FileVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) return {};
  return std::to_string(HIWORD(info->dwFileVersionMS)) + '.' + std::to_string(LOWORD(info->dwFileVersionMS)) + '.' +
         std::to_string(HIWORD(info->dwFileVersionLS)) + '.' + std::to_string(LOWORD(info->dwFileVersionLS));
}

bool Exists(const std::wstring& path, bool folder) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

ClassRegistration Read(HKEY root, REGSAM view) {
  ClassRegistration registration;
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, kServerKey, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return registration;
  const win32::RegistryKey key(opened);
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return registration;
  }
  std::wstring path(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path.data()), &bytes) !=
      ERROR_SUCCESS) {
    return registration;
  }
  path.resize(wcslen(path.c_str()));
  if (type == REG_EXPAND_SZ) {
    std::wstring expanded(32768, L'\0');
    const DWORD length = ExpandEnvironmentStringsW(path.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (length > 0 && length <= expanded.size()) path = expanded.c_str();
  }
  path.resize(wcslen(path.c_str()));
  registration.found = true;
  registration.path = Narrow(path);
  registration.fileExists = Exists(path, false);
  const auto slash = path.find_last_of(L"\\/");
  registration.folderExists = slash != std::wstring::npos && Exists(path.substr(0, slash), true);
  if (registration.fileExists) registration.version = FileVersion(path);
  return registration;
}

bool IsWindows64() {
#ifdef _WIN64
  return true;
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

}  // namespace

std::vector<HostRegistrations> ReadComRegistrations() {
  std::vector<HostRegistrations> hosts;
  HostRegistrations host32{"32-bit host", true, true, Read(HKEY_CURRENT_USER, KEY_WOW64_32KEY),
                           Read(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY)};
  hosts.push_back(host32);
  HostRegistrations host64{"64-bit host", IsWindows64(), false, {}, {}};
  if (host64.exists) {
    host64.user = Read(HKEY_CURRENT_USER, KEY_WOW64_64KEY);
    host64.machine = Read(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
  }
  hosts.push_back(host64);
  return hosts;
}

}  // namespace artnet::check
