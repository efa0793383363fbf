#pragma once
// What the Windows benchmark hosts share: the driver made from ArtNet.dll's
// class factory, as a host gets it but without registration, and the
// plumbing of a helper object a benchmark implements itself. Include it after
// platform/win32/windows_support.h, <initguid.h> and artnet_automation.h.

#include <string>

namespace artnet::bench {

using Library = win32::Owned<HMODULE, &FreeLibrary>;

// Loads the DLL into `library` and creates a driver; Init and Enable are the caller's.
inline bool CreateDriver(const std::wstring& dll, Library& library, win32::ComPtr<_clsOutputDriver>& driver) {
  library.Reset(LoadLibraryW(dll.c_str()));
  if (!library) return false;
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto getClassObject =
      reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(library.Get(), "DllGetClassObject")));
  win32::ComPtr<IClassFactory> factory;
  return getClassObject != nullptr &&
         SUCCEEDED(getClassObject(CLSID_clsOutputDriver, IID_IClassFactory,
                                  reinterpret_cast<void**>(factory.GetAddressOf()))) &&
         SUCCEEDED(
             factory->CreateInstance(nullptr, IID__clsOutputDriver, reinterpret_cast<void**>(driver.GetAddressOf())));
}

// Init as the host calls it: its title, the plug-in's file name, its helper (or Nothing).
inline bool InitDriver(_clsOutputDriver* driver, const wchar_t* appTitle, IDispatch* helper) {
  const win32::Bstr title(SysAllocString(appTitle)), file(SysAllocString(L"ArtNet.dll"));
  BSTR titleText = title.Get(), fileText = file.Get();
  VARIANT_BOOL result = VARIANT_FALSE;
  return SUCCEEDED(driver->Init(&titleText, &fileText, &helper, &result));
}

// An IDispatch that lives as long as the program: counting references and
// describing its type do nothing; its names and calls are the subclass's.
class StaticDispatch : public win32::StaticUnknown<IDispatch> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

 protected:
  ~StaticDispatch() = default;
};

}  // namespace artnet::bench
