#include "com/server_module.h"

#include <atomic>
#include <mutex>

#include "platform/win32/windows_support.h"

namespace artnet::server {
namespace {

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;
std::atomic<bool> g_pinned{false};

}  // namespace

void SetModuleHandle(HMODULE module) { g_module = module; }
HMODULE ModuleHandle() { return g_module; }

std::wstring ModulePath() { return win32::ModulePath(g_module); }

void Pin() {
  if (g_pinned.exchange(true)) return;
  HMODULE pinned = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&SetModuleHandle), &pinned);
}

bool IsPinned() { return g_pinned; }

HRESULT LoadOwnTypeLib(ITypeLib** library) {
  // Type libraries serve any thread; apartment threads ask at the same time.
  static std::mutex lock;
  static ITypeLib* cached = nullptr;
  const std::lock_guard<std::mutex> held(lock);
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
