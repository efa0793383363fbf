#include "com/server_module.h"

#include "com/win32_platform.h"
#include "engine/module_state.h"
#include "platform/win32/windows_support.h"

namespace artnet::server {
namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;
ModuleState* g_state = nullptr;

}  // namespace

void SetModuleHandle(HMODULE module) { g_module = module; }
HMODULE ModuleHandle() { return g_module; }

std::wstring ModulePath() { return win32::ModulePath(g_module); }

ModuleState& TheModule() {
  if (g_state == nullptr) {
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&SetModuleHandle), &pinned);
    auto* platform = new Win32Platform();
    g_state = new ModuleState(*platform);
  }
  return *g_state;
}

bool IsPinned() { return g_state != nullptr; }

HRESULT LoadOwnTypeLib(ITypeLib** library) {
  static ITypeLib* cached = nullptr;
  if (cached == nullptr) {
    const std::wstring path = ModulePath();
    ITypeLib* loaded = nullptr;
    const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &loaded);
    if (FAILED(hr)) return hr;
    cached = loaded;  // kept: the DLL is pinned by then or the process is a registration tool
  }
  cached->AddRef();
  *library = cached;
  return S_OK;
}

void ObjectCreated() { InterlockedIncrement(&g_objects); }
void ObjectDestroyed() { InterlockedDecrement(&g_objects); }
void Lock(bool lock) {
  if (lock) {
    InterlockedIncrement(&g_locks);
  } else {
    InterlockedDecrement(&g_locks);
  }
}
bool CanUnload() { return !IsPinned() && g_objects == 0 && g_locks == 0; }

}  // namespace artnet::server
