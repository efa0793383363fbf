#include "platform/win32/registry_settings_store.h"

#include <vector>

#include "lumenstage/automation_errors.h"
#include "platform/win32/windows_support.h"

namespace artnet {
namespace {

constexpr char kRoot[] = "Software\\VB and VBA Program Settings";

void AppendParts(std::string& path, const std::string& name) {
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('\\', start);
    if (end == std::string::npos) end = name.size();
    if (end > start) path += '\\' + name.substr(start, end - start);
    start = end + 1;
  }
}

}  // namespace

// Empty when the application name has no part: nothing is filed then.
std::string RegistrySettingsStore::KeyPath(const std::string& appName, const std::string& section) {
  std::string path = kRoot;
  AppendParts(path, appName);
  if (path.size() == sizeof kRoot - 1) return {};
  AppendParts(path, section);
  return path;
}

std::string RegistrySettingsStore::GetSetting(const std::string& appName, const std::string& section,
                                              const std::string& key, const std::string& defaultValue) {
  const std::string path = KeyPath(appName, section);
  if (path.empty()) return defaultValue;
  win32::RegistryKey handle;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, win32::Wide(path).c_str(), 0, KEY_QUERY_VALUE, handle.Out()) != ERROR_SUCCESS) {
    return defaultValue;
  }
  const std::wstring name = win32::Wide(key);
  std::string result = defaultValue;
  // The value may change size between the calls; a few rounds settle it.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(handle.Get(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ) break;  // not a value this store wrote
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    const LONG status =
        RegQueryValueExW(handle.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) break;
    // Stored text need not end in a terminator, or may carry several.
    std::size_t length = size / sizeof(wchar_t);
    while (length > 0 && buffer[length - 1] == L'\0') --length;
    result = win32::Narrow(std::wstring(buffer.data(), length));
    break;
  }
  return result;
}

int RegistrySettingsStore::SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                                       const std::string& value) {
  // Without an application title there is nothing to file the value under.
  const std::string path = KeyPath(appName, section);
  if (path.empty()) return 0;
  win32::RegistryKey handle;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, win32::Wide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, handle.Out(), nullptr) != ERROR_SUCCESS) {
    return lumenstage::kErrPathFileAccess.number;
  }
  const std::wstring text = win32::Wide(value);
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  const LONG status = RegSetValueExW(handle.Get(), win32::Wide(key).c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(text.c_str()), bytes);
  return status == ERROR_SUCCESS ? 0 : lumenstage::kErrPathFileAccess.number;
}

}  // namespace artnet
