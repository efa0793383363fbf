#include "com/automation_values.h"

#include <new>
#include <utility>

namespace artnet {
namespace {

constexpr std::int32_t kErrObjectDoesNotSupportProperty = 438;
constexpr std::int32_t kErrWrongNumberOfArguments = 450;
constexpr std::int32_t kErrArgumentNotOptional = 449;
constexpr std::int32_t kErrNamedArgumentNotFound = 448;
constexpr std::int32_t kErrNoNamedArguments = 446;
constexpr std::int32_t kErrNoAutomationInterface = 430;

}  // namespace

std::string Utf8FromBstr(BSTR text) { return win32::Narrow(std::wstring_view(text, SysStringLen(text))); }

BSTR BstrFromUtf8(const std::string& text) {
  const std::wstring wide = win32::Wide(text);
  BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (result == nullptr) throw std::bad_alloc();
  return result;
}

HRESULT HresultFromErrorNumber(std::int32_t number) {
  if (number == 0) return S_OK;
  if (number > 0 && number <= 0xFFFF) return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number);
  if (number < 0) return static_cast<HRESULT>(number);
  return E_FAIL;
}

HRESULT RaiseAutomationError(std::int32_t number, const char* description) noexcept {
  const HRESULT hr = HresultFromErrorNumber(number);
  win32::ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    // On the stack: this runs after the call's exception boundary, so it
    // must not allocate. The descriptions are short static texts.
    wchar_t text[256] = L"";
    if (description != nullptr && MultiByteToWideChar(CP_UTF8, 0, description, -1, text, 256) == 0) text[0] = L'\0';
    create->SetSource(const_cast<LPOLESTR>(kComponentSource));
    create->SetDescription(text);
    win32::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
  }
  return hr;
}

std::int32_t ErrorNumberFromHresult(HRESULT hr) {
  if (SUCCEEDED(hr)) return 0;
  if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) return HRESULT_CODE(hr);
  switch (hr) {
    case E_OUTOFMEMORY:
      return 7;
    case DISP_E_OVERFLOW:
      return 6;
    case DISP_E_BADINDEX:
      return 9;
    case DISP_E_TYPEMISMATCH:
      return 13;
    case E_INVALIDARG:
      return 5;
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      return kErrObjectDoesNotSupportProperty;
    case DISP_E_BADPARAMCOUNT:
      return kErrWrongNumberOfArguments;
    case DISP_E_PARAMNOTOPTIONAL:
      return kErrArgumentNotOptional;
    case DISP_E_PARAMNOTFOUND:
      return kErrNamedArgumentNotFound;
    case DISP_E_NONAMEDARGS:
      return kErrNoNamedArguments;
    case E_NOINTERFACE:
      return kErrNoAutomationInterface;
    default:
      return static_cast<std::int32_t>(hr);
  }
}

std::int32_t ErrorNumberFromException(EXCEPINFO& info) {
  if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
  for (BSTR* text : {&info.bstrSource, &info.bstrDescription, &info.bstrHelpFile}) {
    const win32::Bstr freed(std::exchange(*text, nullptr));
  }
  if (info.wCode != 0) return info.wCode;
  if (FAILED(info.scode)) return ErrorNumberFromHresult(info.scode);
  return ErrorNumberFromHresult(DISP_E_EXCEPTION);
}

}  // namespace artnet
