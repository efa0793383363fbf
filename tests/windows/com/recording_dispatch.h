#pragma once

// A host helper object for tests: an IDispatchEx that records every call of
// LMST_DMXIn_SetChannel with its argument types and values. It can behave
// like a script object (GetIDsOfNames not implemented), lack the method, or
// raise an automation error from it.

// <windows.h> first: the COM headers need its types.
// clang-format off
#include <windows.h>
#include <dispex.h>
// clang-format on

#include <functional>
#include <string>
#include <vector>

namespace artnet::testing {

struct RecordedCall {
  VARTYPE channelType;
  LONG channel;
  VARTYPE valueType;
  LONG value;
  DWORD thread;  // the call came on
};

class RecordingDispatch final : public IDispatchEx {
 public:
  enum class Mode { Plain, ScriptObject, NoSuchMethod, Raises, RaisesByCode };

  explicit RecordingDispatch(Mode mode = Mode::Plain) : mode_(mode) {}

  std::vector<RecordedCall> calls;
  int lookups = 0;  // name lookups (GetIDsOfNames or GetDispID) that succeeded
  ULONG refs = 1;
  // Runs inside each call, after it was recorded: what a host does there.
  std::function<void()> onCall;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        (IsEqualIID(riid, IID_IDispatchEx) && mode_ == Mode::ScriptObject)) {
      *object = static_cast<IDispatchEx*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the test's stack

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    if (mode_ == Mode::ScriptObject) return E_NOTIMPL;
    return Lookup(names[0], ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO* exception, UINT*) override {
    if (id != kMethodId || (flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 2 || params->cNamedArgs != 0) return DISP_E_BADPARAMCOUNT;
    // Last argument first.
    const VARIANT& channel = params->rgvarg[1];
    const VARIANT& value = params->rgvarg[0];
    calls.push_back({V_VT(&channel), V_VT(&channel) == VT_I4 ? V_I4(&channel) : -1, V_VT(&value),
                     V_VT(&value) == VT_UI1 ? V_UI1(&value) : -1, GetCurrentThreadId()});
    if (onCall) onCall();
    if (mode_ == Mode::Raises) {
      *exception = EXCEPINFO{};
      exception->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 6);
      exception->bstrDescription = SysAllocString(L"Overflow");
      return DISP_E_EXCEPTION;
    }
    if (mode_ == Mode::RaisesByCode) {
      *exception = EXCEPINFO{};
      exception->wCode = 1004;
      return DISP_E_EXCEPTION;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD, DISPID* id) override { return Lookup(name, id); }
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, IServiceProvider*) override {
    return Invoke(id, IID_NULL, locale, flags, params, result, exception, nullptr);
  }
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }

 private:
  static constexpr DISPID kMethodId = 7;

  HRESULT Lookup(const wchar_t* name, DISPID* id) {
    if (mode_ == Mode::NoSuchMethod || _wcsicmp(name, L"LMST_DMXIn_SetChannel") != 0) {
      *id = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    ++lookups;
    *id = kMethodId;
    return S_OK;
  }

  Mode mode_;
};

}  // namespace artnet::testing
