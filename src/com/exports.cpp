// The exports of an in-process automation server (the four standard ones and
// DllInstall for a per-user registration), and the entry point
// that remembers which module we are.
// <windows.h> first: the COM headers need its types.
// clang-format off
#include <windows.h>
#include <unknwn.h>
// clang-format on

#include "artnet_automation.h"
#include "com/class_factory.h"
#include "com/registration.h"
#include "com/server_module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) artnet::server::SetModuleHandle(instance);
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_clsOutputDriver)) return CLASS_E_CLASSNOTAVAILABLE;
  return artnet::OutputDriverFactory::Instance().QueryInterface(riid, object);
}

// Once an object was made the DLL is pinned and stays: S_FALSE from then on.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return artnet::server::CanUnload() ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  try {
    return artnet::RegisterServer(artnet::RegistrationScope::Machine, artnet::server::ModulePath());
  } catch (...) {
    return E_UNEXPECTED;
  }
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  try {
    return artnet::UnregisterServer(artnet::RegistrationScope::Machine);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// regsvr32 /n /i:user registers for the calling user alone, without
// administrator rights; /u /n /i:user removes that again. No command line
// (or "machine") is the machine-wide registration.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, PCWSTR commandLine) {
  try {
    artnet::RegistrationScope scope{};
    if (!artnet::ScopeFromCommandLine(commandLine, scope)) return E_INVALIDARG;
    return install ? artnet::RegisterServer(scope, artnet::server::ModulePath()) : artnet::UnregisterServer(scope);
  } catch (...) {
    return E_UNEXPECTED;
  }
}
