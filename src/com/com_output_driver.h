#pragma once

// clang-format off
#include "platform/win32/windows_support.h"
#include "artnet_automation.h"
// clang-format on
#include "com/apartment_module.h"
#include "driver/cls_output_driver.h"

namespace artnet {

// The object a host creates as ArtNet.clsOutputDriver: the dual interface
// _clsOutputDriver over one clsOutputDriver. Early-bound calls arrive through
// the vtable; late-bound calls through a hand-written Invoke, because the
// standard type-library dispatch cannot take a script's variables by
// reference. Failures come back as 0x800A0000 | number with an IErrorInfo
// (vtable) or an EXCEPINFO (Invoke). No exception leaves any method. Once its
// apartment's module has ended, every method answers RPC_E_DISCONNECTED.
class ComOutputDriver final : public ::_clsOutputDriver, public ISupportErrorInfo {
 public:
  // Starts with no reference: its first owner adds one. Keeps `owner` (the
  // module `mod` belongs to, if any) until it is gone.
  explicit ComOutputDriver(ModuleState& mod, std::shared_ptr<server::ApartmentModule> owner = nullptr);
  ComOutputDriver(const ComOutputDriver&) = delete;
  ComOutputDriver& operator=(const ComOutputDriver&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* badArgument) noexcept override;

  // _clsOutputDriver
  HRESULT STDMETHODCALLTYPE Disable(VARIANT_BOOL* result) noexcept override;
  HRESULT STDMETHODCALLTYPE Enable(VARIANT_BOOL* result) noexcept override;
  HRESULT STDMETHODCALLTYPE PluginName(BSTR* result) noexcept override;
  HRESULT STDMETHODCALLTYPE SetChannel(LONG* Channel, LONG* value, VARIANT_BOOL* result) noexcept override;
  HRESULT STDMETHODCALLTYPE Configure(VARIANT_BOOL* result) noexcept override;
  HRESULT STDMETHODCALLTYPE Init(BSTR* CallingAppTitle, BSTR* MyFilename, IDispatch** LMSTPluginHelper,
                                 VARIANT_BOOL* result) noexcept override;
  HRESULT STDMETHODCALLTYPE Term(VARIANT_BOOL* result) noexcept override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

 private:
  ~ComOutputDriver();
  // Its apartment has ended: the module must not be touched.
  bool Disconnected() { return module_ && module_->State() == nullptr; }

  LONG refs_ = 0;
  bool errorInfoLeft_ = false;  // a failed call of this object's set the thread's error information
  std::shared_ptr<server::ApartmentModule> module_;  // before driver_: released after it
  clsOutputDriver driver_;
};

}  // namespace artnet
