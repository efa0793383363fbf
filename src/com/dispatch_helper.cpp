#include "com/dispatch_helper.h"

#include <dispex.h>

#include <array>
#include <new>

#include "com/automation_values.h"
#include "lumenstage/automation_errors.h"

namespace artnet {
namespace {

// The host's helper methods take two arguments; a little room beyond that.
constexpr std::int32_t kMaxArguments = 4;

}  // namespace

DispatchHelper::DispatchHelper(IDispatch* target) : target_(target) {}

DispatchHelper::~DispatchHelper() = default;

void DispatchHelper::AddRef() { ++refs_; }

void DispatchHelper::Release() {
  if (--refs_ == 0) delete this;
}

HRESULT DispatchHelper::FindMethod(const char* method, DISPID* id) {
  std::wstring name = win32::Wide(method);
  LPOLESTR names[] = {name.data()};
  HRESULT hr = target_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
  if (FAILED(hr)) {
    // Script objects (a VBScript class instance) answer only through IDispatchEx.
    win32::ComPtr<IDispatchEx> extended;
    if (SUCCEEDED(target_.As(&extended))) {
      const win32::Bstr text(SysAllocStringLen(name.data(), static_cast<UINT>(name.size())));
      hr = text ? extended->GetDispID(text.Get(), fdexNameCaseInsensitive, id) : E_OUTOFMEMORY;
    }
  }
  return hr;
}

std::int32_t DispatchHelper::Invoke(const char* method, const lumenstage::HelperArg* args, std::int32_t count) {
  try {
    // The object may be released by the host from inside the call.
    const win32::ComPtr<IDispatch> target = target_;

    DISPID id = DISPID_UNKNOWN;
    const HRESULT found = FindMethod(method, &id);
    if (found == E_OUTOFMEMORY) return lumenstage::kErrOutOfMemory.number;
    if (FAILED(found)) return ErrorNumberFromHresult(DISP_E_MEMBERNOTFOUND);

    // DISPPARAMS holds the arguments last first. A fixed array: this runs
    // once per changed input channel, up to 512 times per packet.
    std::array<VARIANT, kMaxArguments> values;
    if (count < 0 || count > kMaxArguments) return lumenstage::kErrInvalidProcedureCall.number;
    for (std::int32_t i = 0; i < count; ++i) {
      VARIANT& value = values[static_cast<std::size_t>(count - 1 - i)];
      VariantInit(&value);
      if (args[i].type == lumenstage::HelperArg::Type::Byte) {
        V_VT(&value) = VT_UI1;
        V_UI1(&value) = static_cast<BYTE>(args[i].value);
      } else {
        V_VT(&value) = VT_I4;
        V_I4(&value) = args[i].value;
      }
    }
    DISPPARAMS params{values.data(), nullptr, static_cast<UINT>(count), 0};
    win32::Variant result;
    EXCEPINFO exception{};
    UINT badArgument = 0;
    const HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.Get(),
                                      &exception, &badArgument);
    if (hr == DISP_E_EXCEPTION) return ErrorNumberFromException(exception);
    return ErrorNumberFromHresult(hr);
  } catch (const std::bad_alloc&) {
    return lumenstage::kErrOutOfMemory.number;
  } catch (...) {
    return lumenstage::kErrInternal.number;
  }
}

}  // namespace artnet
