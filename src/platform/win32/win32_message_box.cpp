#include "platform/win32/win32_message_box.h"

// <windows.h> turns every later MessageBox into MessageBoxW; this file
// needs the function only, under its own name.
#include <windows.h>
#undef MessageBox

#include "platform/win32/text_conversion.h"

namespace artnet {
namespace {

std::wstring OwnModuleBaseName() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&OwnModuleBaseName), &module)) {
    return {};
  }
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring name(path, length);
  if (const auto slash = name.find_last_of(L"\\/"); slash != std::wstring::npos) name.erase(0, slash + 1);
  if (const auto dot = name.find_last_of(L'.'); dot != std::wstring::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace

std::string Win32MessageBox::Title() { return win32::Narrow(OwnModuleBaseName()); }

void Win32MessageBox::ShowCritical(const std::string& text) {
  // Task-modal without an owner: the host's windows wait, its message loop
  // (timers, sockets) keeps running inside the box's.
  MessageBoxW(nullptr, win32::Wide(text).c_str(), OwnModuleBaseName().c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace artnet
