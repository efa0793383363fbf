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

// SetChannel first: a fading host looks it up thousands of times a second.
constexpr std::array<MemberInfo, 7> kMembers{{
    {kSetChannel, L"SetChannel", 2, {L"Channel", L"value"}, {VT_I4, VT_I4}},
    {kDisable, L"Disable", 0, {}, {}},
    {kEnable, L"Enable", 0, {}, {}},
    {kPluginName, L"PluginName", 0, {}, {}},
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

constexpr bool AllAsciiLetters(const wchar_t* name) {
  for (; *name != L'\0'; ++name) {
    if ((*name | 0x20) < L'a' || (*name | 0x20) > L'z') return false;
  }
  return true;
}

// Late-bound callers spell names in any case ("setchannel", "SETCHANNEL").
// Our names are ASCII letters only, so a character matches one of ours
// exactly when both agree with the case bit set: no other character, wide or
// not, has that value. It stops at the first difference, and the host looks
// a name up on every call.
[[gnu::always_inline]] inline bool SameName(const wchar_t* given, const wchar_t* ours) {
  if (given == nullptr) return false;
  for (; *ours != L'\0'; ++given, ++ours) {
    if ((*given | 0x20) != (*ours | 0x20)) return false;
  }
  return *given == L'\0';
}

constexpr bool AllNamesAreAsciiLetters() {
  for (const MemberInfo& member : kMembers) {
    if (!AllAsciiLetters(member.name)) return false;
    for (UINT p = 0; p < member.paramCount; ++p) {
      if (!AllAsciiLetters(member.params[p])) return false;
    }
  }
  return true;
}
static_assert(AllNamesAreAsciiLetters(), "SameName folds case by the case bit alone");

// The host's every-call SetChannel passes two Longs, by value or as script
// variables: taken as they are, without the library's copy and conversion.
bool TakeLong(const VARIANT& given, LONG& value) {
  if (V_VT(&given) == VT_I4) {
    value = V_I4(&given);
  } else if (V_VT(&given) == (VT_I4 | VT_BYREF) && V_I4REF(&given) != nullptr) {
    value = *V_I4REF(&given);
  } else {
    return false;
  }
  return true;
}

// A failure leaves its error information for the caller. A success clears
// what one of this object's failures may have left: callers read it only
// after a failure, and on the hot calls the system call is not free.
HRESULT Report(const lumenstage::Status& status, bool& errorInfoLeft) {
  if (status.ok()) {
    if (errorInfoLeft) SetErrorInfo(0, nullptr);
    errorInfoLeft = false;
    return S_OK;
  }
  errorInfoLeft = true;
  return RaiseAutomationError(status.error, status.description);
}

// A method with a boolean result, its whole body (conversions included)
// inside the call's one exception boundary; the result is false unless the
// body finished.
template <typename Body>
HRESULT CallWithBool(bool& errorInfoLeft, VARIANT_BOOL* result, Body&& body) noexcept {
  if (result == nullptr) return E_POINTER;
  *result = VARIANT_FALSE;
  bool value = false;
  const lumenstage::Status status = HostCall(value, body);
  if (status.ok() && value) *result = VARIANT_TRUE;
  return Report(status, errorInfoLeft);
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

// A method's failure as a late-bound caller receives it.
HRESULT InvokeResult(HRESULT hr, EXCEPINFO* exception) {
  if (FAILED(hr) && exception != nullptr) {
    FillException(hr, exception);
    return DISP_E_EXCEPTION;
  }
  return hr;
}

// Any call with its arguments as the caller gave them: named or positional,
// by value or by reference, converted (a conversion's failure is returned as
// it is, the method's as an exception). Out of line, so that the host's
// every-call SetChannel keeps a small frame in Invoke.
[[gnu::noinline]] HRESULT InvokeMethod(ComOutputDriver& driver, const MemberInfo& member, const DISPPARAMS& params,
                                       VARIANT* result, EXCEPINFO* exception, UINT* badArgument) noexcept {
  // Where each parameter sits in rgvarg: named ones first, then the
  // positional ones, last first.
  std::array<int, 3> source{-1, -1, -1};
  for (UINT i = 0; i < params.cNamedArgs; ++i) {
    const DISPID position = params.rgdispidNamedArgs[i];
    if (position < 0 || static_cast<UINT>(position) >= member.paramCount || source[position] != -1) {
      if (badArgument != nullptr) *badArgument = i;
      return DISP_E_PARAMNOTFOUND;
    }
    source[position] = static_cast<int>(i);
  }
  const UINT positional = params.cArgs - params.cNamedArgs;
  for (UINT p = 0; p < positional; ++p) {
    if (source[p] != -1) return DISP_E_PARAMNOTFOUND;
    source[p] = static_cast<int>(params.cArgs - 1 - p);
  }

  // By value or by reference (a script's variable), converted as the
  // parameter's type demands; the variables are never written back.
  std::array<win32::Variant, 3> args;  // in parameter order, cleared when done
  for (UINT p = 0; p < member.paramCount; ++p) {
    VARIANT& value = *args[p].Get();
    VARIANT& given = params.rgvarg[source[p]];
    if (member.types[p] == VT_I4 && TakeLong(given, V_I4(&value))) {
      V_VT(&value) = VT_I4;
      continue;
    }
    HRESULT hr = VariantCopyInd(&value, &given);
    // An omitted argument arrives as this error value; scripts show it as 449.
    if (SUCCEEDED(hr) && V_VT(&value) == VT_ERROR && V_ERROR(&value) == DISP_E_PARAMNOTFOUND)
      hr = DISP_E_PARAMNOTOPTIONAL;
    if (SUCCEEDED(hr) && V_VT(&value) != member.types[p]) hr = VariantChangeType(&value, &value, 0, member.types[p]);
    if (FAILED(hr)) {
      if (badArgument != nullptr) *badArgument = static_cast<UINT>(source[p]);
      return hr;
    }
  }

  if (result != nullptr) VariantInit(result);

  VARIANT_BOOL flag = VARIANT_FALSE;
  HRESULT hr = E_UNEXPECTED;
  switch (member.id) {
    case kDisable:
      hr = driver.Disable(&flag);
      break;
    case kEnable:
      hr = driver.Enable(&flag);
      break;
    case kSetChannel: {
      LONG channel = V_I4(args[0].Get());
      LONG value = V_I4(args[1].Get());
      hr = driver.SetChannel(&channel, &value, &flag);
      break;
    }
    case kConfigure:
      hr = driver.Configure(&flag);
      break;
    case kInit: {
      BSTR title = V_BSTR(args[0].Get());
      BSTR file = V_BSTR(args[1].Get());
      IDispatch* helper = V_DISPATCH(args[2].Get());
      hr = driver.Init(&title, &file, &helper, &flag);
      break;
    }
    case kTerm:
      hr = driver.Term(&flag);
      break;
    case kPluginName: {
      BSTR name = nullptr;
      hr = driver.PluginName(&name);
      win32::Bstr owned(name);
      if (result != nullptr) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = owned.Release();
      }
      return InvokeResult(hr, exception);
    }
    default:
      return InvokeResult(DISP_E_MEMBERNOTFOUND, exception);
  }
  if (result != nullptr) {
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = flag;
  }
  return InvokeResult(hr, exception);
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
  if (!InlineIsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
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
  if (!InlineIsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;

  // The host's every-call SetChannel, two Longs in place: straight to the
  // method, which answers for an ended module itself.
  LONG channelArg = 0, valueArg = 0;
  if (id == kSetChannel && (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0 && params != nullptr &&
      params->cArgs == 2 && params->cNamedArgs == 0 && TakeLong(params->rgvarg[1], channelArg) &&
      TakeLong(params->rgvarg[0], valueArg)) {
    VARIANT_BOOL flag = VARIANT_FALSE;
    const HRESULT hr = SetChannel(&channelArg, &valueArg, &flag);
    if (result != nullptr) {  // written whole: nothing to initialise first
      V_VT(result) = VT_BOOL;
      V_BOOL(result) = flag;
    }
    return InvokeResult(hr, exception);
  }

  if (Disconnected()) return RPC_E_DISCONNECTED;
  const MemberInfo* member = FindMember(id);
  if (member == nullptr || (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
  DISPPARAMS none{};
  if (params == nullptr) params = &none;
  if (params->cArgs != member->paramCount) return DISP_E_BADPARAMCOUNT;
  if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
  return InvokeMethod(*this, *member, *params, result, exception, badArgument);
}

HRESULT ComOutputDriver::Disable(VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  return CallWithBool(errorInfoLeft_, result, [this] { return driver_.RunDisable(); });
}

HRESULT ComOutputDriver::Enable(VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  return CallWithBool(errorInfoLeft_, result, [this] { return driver_.RunEnable(); });
}

HRESULT ComOutputDriver::SetChannel(LONG* Channel, LONG* value, VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  if (Channel == nullptr || value == nullptr) return E_POINTER;
  return CallWithBool(errorInfoLeft_, result, [&] { return driver_.RunSetChannel(*Channel, *value); });
}

HRESULT ComOutputDriver::Configure(VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  return CallWithBool(errorInfoLeft_, result, [this] { return driver_.RunConfigure(); });
}

HRESULT ComOutputDriver::Init(BSTR* CallingAppTitle, BSTR* MyFilename, IDispatch** LMSTPluginHelper,
                              VARIANT_BOOL* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  if (CallingAppTitle == nullptr || MyFilename == nullptr || LMSTPluginHelper == nullptr) return E_POINTER;
  return CallWithBool(errorInfoLeft_, result, [&] {
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
  return CallWithBool(errorInfoLeft_, result, [this] { return driver_.RunTerm(); });
}

HRESULT ComOutputDriver::PluginName(BSTR* result) noexcept {
  const SelfReference self(this);
  if (Disconnected()) return RPC_E_DISCONNECTED;
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  const lumenstage::Status status = HostCall(*result, [] { return BstrFromUtf8(clsOutputDriver::RunPluginName()); });
  return Report(status, errorInfoLeft_);
}

HRESULT ComOutputDriver::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID__clsOutputDriver) ? S_OK : S_FALSE;
}

}  // namespace artnet
