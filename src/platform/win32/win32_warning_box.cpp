#include "platform/win32/win32_warning_box.h"

#include "platform/win32/windows_support.h"

namespace artnet {
namespace {

std::wstring OwnModuleBaseName() {
  std::wstring name = win32::ModulePath(win32::OwnModule());
  if (const auto slash = name.find_last_of(L"\\/"); slash != std::wstring::npos) name.erase(0, slash + 1);
  if (const auto dot = name.find_last_of(L'.'); dot != std::wstring::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace

std::string Win32WarningBox::Title() { return win32::Narrow(OwnModuleBaseName()); }

void Win32WarningBox::ShowCritical(const std::string& text) {
  // Task-modal without an owner: the host's windows wait, its message loop
  // (timers, sockets) keeps running inside the box's.
  MessageBoxW(nullptr, win32::Wide(text).c_str(), OwnModuleBaseName().c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace artnet
