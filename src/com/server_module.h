#pragma once

// What ArtNet.dll keeps once per process: its own handle, the engine's
// module state, the type library, and the counts DllCanUnloadNow looks at.

// <windows.h> first: the COM headers need its types.
// clang-format off
#include <windows.h>
#include <oaidl.h>
// clang-format on

#include <string>

namespace artnet {

class ModuleState;

namespace server {

void SetModuleHandle(HMODULE module);
HMODULE ModuleHandle();
std::wstring ModulePath();

// Created on first use on the calling thread (the host's UI thread), on the
// Win32 platform, and never destroyed. Creating it pins the DLL: its window
// and timers point into our code, so the host must not unload us any more.
ModuleState& TheModule();
bool IsPinned();

// The type library embedded as resource TYPELIB 1; S_OK and an added reference.
HRESULT LoadOwnTypeLib(ITypeLib** library);

void ObjectCreated();
void ObjectDestroyed();
void Lock(bool lock);
bool CanUnload();

}  // namespace server
}  // namespace artnet
