#pragma once

// <windows.h> first: the COM headers need its types.
// clang-format off
#include <windows.h>
#include <unknwn.h>
// clang-format on

namespace artnet {

// Makes ComOutputDriver objects; one static instance serves the process.
class OutputDriverFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  static OutputDriverFactory& Instance();
};

}  // namespace artnet
