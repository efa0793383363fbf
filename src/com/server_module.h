#pragma once

// What ArtNet.dll keeps once per process: its own handle, the type library,
// and what DllCanUnloadNow looks at. The engine's state is per apartment
// thread (apartment_module.h).

// <windows.h> first: the COM headers need its types.
// clang-format off
#include <windows.h>
#include <oaidl.h>
// clang-format on

#include <string>

namespace artnet {

namespace server {

void SetModuleHandle(HMODULE module);
HMODULE ModuleHandle();
std::wstring ModulePath();

// Called when the first module state is made: windows, hooks and timers
// then point into our code, so the host must not unload us any more.
void Pin();
bool IsPinned();

// The type library embedded as resource TYPELIB 1; S_OK and an added reference.
HRESULT LoadOwnTypeLib(ITypeLib** library);

void ObjectCreated();
void ObjectDestroyed();
void Lock(bool lock);
bool CanUnload();

}  // namespace server
}  // namespace artnet
