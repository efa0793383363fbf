#include "com/com_output_driver.h"

#include <array>

#include "com/automation_values.h"
#include "com/dispatch_helper.h"
#include "com/server_module.h"
#include "driver/host_call.h"
#include "engine/host_helper_ref.h"
#include "lumenstage/automation_errors.h"

namespace artnet {
namespace {

// The members of _clsOutputDriver as late-bound callers name them.
struct MemberInfo {
  DISPID id;
  const wchar_t* name;
  UINT paramCount;
  std::array<const wchar_t*, 3> params;
  std::array<VARTYPE, 3> types;
};

constexpr DISPID kDisable = 0x60030000;
constexpr DISPID kEnable = 0x60030001;
constexpr DISPID kPluginName = 0x60030002;
constexpr DISPID kSetChannel = 0x60030003;
constexpr DISPID kConfigure = 0x60030004;
constexpr DISPID kInit = 0x60030005;
constexpr DISPID kTerm = 0x60030006;

constexpr std::array<MemberInfo, 7> kMembers{{
    {kDisable, L"Disable", 0, {}, {}},
    {kEnable, L"Enable", 0, {}, {}},
    {kPluginName, L"PluginName", 0, {}, {}},
    {kSetChannel, L"SetChannel", 2, {L"Channel", L"value"}, {VT_I4, VT_I4}},
    {kConfigure, L"Configure", 0, {}, {}},
    {kInit, L"Init", 3, {L"CallingAppTitle", L"MyFilename", L"LMSTPluginHelper"}, {VT_BSTR, VT_BSTR, VT_DISPATCH}},
    {kTerm, L"Term", 0, {}, {}},
}};

const MemberInfo* FindMember(DISPID id) {
  for (const MemberInfo& member : kMembers) {
    if (member.id == id) return &member;
  }
  return nullptr;
}

constexpr wchar_t FoldAsciiCase(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Late-bound callers spell names in any case ("setchannel", "SETCHANNEL").
// Our names are ASCII, so folding ASCII letters is the whole comparison; it
// stops at the first difference, and the host looks a name up on every call.
bool SameName(const wchar_t* given, const wchar_t* ours) {
  if (given == nullptr) return false;
  for (; *ours != L'\0'; ++given, ++ours) {
    if (FoldAsciiCase(*given) != FoldAsciiCase(*ours)) return false;
  }
  return *given == L'\0';
}

// The host's every-call SetChannel passes two Longs, by value or as script
// variables: taken as they are, without the library's copy and conversion.
bool TakeLong(const VARIANT& given, VARIANT& value) {
  if (V_VT(&given) == VT_I4) {
    V_I4(&value) = V_I4(&given);
  } else if (V_VT(&given) == (VT_I4 | VT_BYREF) && V_I4REF(&given) != nullptr) {
    V_I4(&value) = *V_I4REF(&given);
  } else {
    return false;
  }
  V_VT(&value) = VT_I4;
  return true;
}

HRESULT Report(const lumenstage::Status& status) {
  if (status.ok()) {
    SetErrorInfo(0, nullptr);
    return S_OK;
  }
  return RaiseAutomationError(status.error, status.description);
}

// A method with a boolean result, its whole body (conversions included)
// inside the call's one exception boundary; the result is false unless the
// body finished.
template <typename Body>
HRESULT CallWithBool(VARIANT_BOOL* result, Body&& body) noexcept {
  if (result == nullptr) return E_POINTER;
  *result = VARIANT_FALSE;
  bool value = false;
  const lumenstage::Status status = HostCall(value, body);
  if (status.ok() && value) *result = VARIANT_TRUE;
  return Report(status);
}

// Fills EXCEPINFO from the error the method raised, as a component's
// automation error reaches a late-bound caller.
void FillException(HRESULT hr, EXCEPINFO* exception) {
  *exception = EXCEPINFO{};
  exception->scode = hr;
  win32::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    info->GetSource(&exception->bstrSource);
    info->GetDescription(&exception->bstrDescription);
  }
  if (exception->bstrSource == nullptr) exception->bstrSource = SysAllocString(kComponentSource);
}

}  // namespace

// Each method holds a reference to its object until it returns: a host may
// release its last one from inside a nested loop the call opened (a message
// box, the dialog, a helper that pumps messages).
using SelfReference = win32::ComPtr<ComOutputDriver>;

ComOutputDriver::ComOutputDriver(ModuleState& mod, std::shared_ptr<server::ApartmentModule> owner)
    : module_(std::move(owner)), driver_(mod) {
  server::ObjectCreated();
}

ComOutputDriver::~ComOutputDriver() { server::ObjectDestroyed(); }

HRESULT ComOutputDriver::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID__clsOutputDriver)) {
    *object = static_cast<::_clsOutputDriver*>(this);
  } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
    *object = static_cast<ISupportErrorInfo*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG ComOutputDriver::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG ComOutputDriver::Release() {
  const LONG refs = InterlockedDecrement(&refs_);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT ComOutputDriver::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT ComOutputDriver::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  try {
    win32::ComPtr<ITypeLib> library;
    const HRESULT hr = server::LoadOwnTypeLib(&library);
    if (FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(IID__clsOutputDriver, info);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT ComOutputDriver::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (count == 0) return S_OK;
  if (names == nullptr || ids == nullptr) return E_POINTER;
  const MemberInfo* member = nullptr;
  for (const MemberInfo& candidate : kMembers) {
    if (SameName(names[0], candidate.name)) {
      member = &candidate;
      break;
    }
  }
  HRESULT hr = S_OK;
  ids[0] = member != nullptr ? member->id : DISPID_UNKNOWN;
  if (member == nullptr) hr = DISP_E_UNKNOWNNAME;
  // Further names are parameters, numbered by position.
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    for (UINT p = 0; member != nullptr && p < member->paramCount; ++p) {
      if (SameName(names[i], member->params[p])) {
        ids[i] = static_cast<DISPID>(p);
        break;
      }
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT ComOutputDriver::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO* exception, UINT* badArgument) noexcept {
  // Nothing here throws: the method it calls is the call's one exception boundary.
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (Disconnected()) return RPC_E_DISCONNECTED;
  const MemberInfo* member = FindMember(id);
  if (member == nullptr || (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
  DISPPARAMS none{};
  if (params == nullptr) params = &none;
  if (params->cArgs != member->paramCount) return DISP_E_BADPARAMCOUNT;
  if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;

  // Where each parameter sits in rgvarg: named ones first, then the
  // positional ones, last first.
  std::array<int, 3> source{-1, -1, -1};
  for (UINT i = 0; i < params->cNamedArgs; ++i) {
    const DISPID position = params->rgdispidNamedArgs[i];
    if (position < 0 || static_cast<UINT>(position) >= member->paramCount || source[position] != -1) {
      if (badArgument != nullptr) *badArgument = i;
      return DISP_E_PARAMNOTFOUND;
    }
    source[position] = static_cast<int>(i);
  }
  const UINT positional = params->cArgs - params->cNamedArgs;
  for (UINT p = 0; p < positional; ++p) {
    if (source[p] != -1) return DISP_E_PARAMNOTFOUND;
    source[p] = static_cast<int>(params->cArgs - 1 - p);
  }

  // By value or by reference (a script's variable), converted as the
  // parameter's type demands; the variables are never written back.
  Arguments args;
  for (UINT p = 0; p < member->paramCount; ++p) {
    VARIANT& value = *args[p].Get();
    VARIANT& given = params->rgvarg[source[p]];
    if (member->types[p] == VT_I4 && TakeLong(given, value)) continue;
    HRESULT hr = VariantCopyInd(&value, &given);
    // An omitted argument arrives as this error value; scripts show it as 449.
    if (SUCCEEDED(hr) && V_VT(&value) == VT_ERROR && V_ERROR(&value) == DISP_E_PARAMNOTFOUND)
      hr = DISP_E_PARAMNOTOPTIONAL;
    if (SUCCEEDED(hr) && V_VT(&value) != member->types[p]) hr = VariantChangeType(&value, &value, 0, member->types[p]);
    if (FAILED(hr)) {
      if (badArgument != nullptr) *badArgument = static_cast<UINT>(source[p]);
      return hr;
    }
  }

  if (result != nullptr) VariantInit(result);
  const HRESULT hr = InvokeMethod(id, args, result);
  if (FAILED(hr) && exception != nullptr) {
    FillException(hr, exception);
    return DISP_E_EXCEPTION;
  }
  return hr;
}

HRESULT ComOutputDriver::InvokeMethod(DISPID id, Arguments& args, VARIANT* result) noexcept {
  VARIANT_BOOL flag = VARIANT_FALSE;
  HRESULT hr = E_UNEXPECTED;
  switch (id) {
    case kDisable:
      hr = Disable(&flag);
      break;
    case kEnable:
      hr = Enable(&flag);
      break;
    case kSetChannel: {
      LONG channel = V_I4(args[0].Get());
      LONG value = V_I4(args[1].Get());
      hr = SetChannel(&channel, &value, &flag);
      break;
    }
    case kConfigure:
      hr = Configure(&flag);
      break;
    case kInit: {
      BSTR title = V_BSTR(args[0].Get());
      BSTR file = V_BSTR(args[1].Get());
      IDispatch* helper = V_DISPATCH(args[2].Get());
      hr = Init(&title, &file, &helper, &flag);
      break;
    }
    case kTerm:
      hr = Term(&flag);
      break;
    case kPluginName: {
      BSTR name = nullptr;
      hr = PluginName(&name);
      win32::Bstr owned(name);
      if (result != nullptr) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = owned.Release();
      }
      return hr;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  if (result != nullptr) {
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = flag;
  }
  return hr;
}

HRESULT ComOutputDriver::Disable(VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  return CallWithBool(result, [this] { return driver_.RunDisable(); });
}

HRESULT ComOutputDriver::Enable(VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  return CallWithBool(result, [this] { return driver_.RunEnable(); });
}

HRESULT ComOutputDriver::SetChannel(LONG* Channel, LONG* value, VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  if (Channel == nullptr || value == nullptr) return E_POINTER;
  return CallWithBool(result, [&] { return driver_.RunSetChannel(*Channel, *value); });
}

HRESULT ComOutputDriver::Configure(VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  return CallWithBool(result, [this] { return driver_.RunConfigure(); });
}

HRESULT ComOutputDriver::Init(BSTR* CallingAppTitle, BSTR* MyFilename, IDispatch** LMSTPluginHelper,
                              VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  if (CallingAppTitle == nullptr || MyFilename == nullptr || LMSTPluginHelper == nullptr) return E_POINTER;
  return CallWithBool(result, [&] {
    const std::string title = Utf8FromBstr(*CallingAppTitle);
    const std::string file = Utf8FromBstr(*MyFilename);
    // Nothing as helper: no helper. The module takes its own reference.
    HostHelperRef helper;
    if (*LMSTPluginHelper != nullptr) helper.Adopt(new DispatchHelper(*LMSTPluginHelper));
    return driver_.RunInit(title, file, helper.get());
  });
}

HRESULT ComOutputDriver::Term(VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  return CallWithBool(result, [this] { return driver_.RunTerm(); });
}

HRESULT ComOutputDriver::PluginName(BSTR* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  const lumenstage::Status status = HostCall(*result, [] { return BstrFromUtf8(clsOutputDriver::RunPluginName()); });
  return Report(status);
}

HRESULT ComOutputDriver::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID__clsOutputDriver) ? S_OK : S_FALSE;
}

}  // namespace artnet
