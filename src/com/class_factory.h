#pragma once

#include "platform/win32/windows_support.h"

namespace artnet {

// Makes ComOutputDriver objects; one static instance serves the process. The
// counts of the objects it makes and LockServer keep the DLL loaded, not
// references to the factory.
class OutputDriverFactory final : public win32::StaticUnknown<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  static OutputDriverFactory& Instance();
};

}  // namespace artnet
